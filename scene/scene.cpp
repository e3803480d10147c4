#include "scene/scene.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <stdexcept>

#include "scene/fatal.h"

namespace {

// The red, green and blue of ramp r at shade f: the pure colour at f = 0,
// paler as f grows towards 255.
void rampColour(int r, Uint8 f, Uint8* red, Uint8* green, Uint8* blue) {
  static const bool kFull[RAMP_COUNT][3] = {
      {false, false, false},  // black
      {true, false, false},   // red
      {false, true, false},   // green
      {false, false, true},   // blue
      {true, true, false},    // yellow
      {true, false, true},    // magenta
      {false, true, true},    // cyan
  };
  *red = kFull[r][0] ? 255 : f;
  *green = kFull[r][1] ? 255 : f;
  *blue = kFull[r][2] ? 255 : f;
}

const size_t kCacheLineBytes = 64;

typedef CellClaims::Code Code;

// A row of the tiled grid: cells x ... x + 3 lie side by side, the next
// four 16 cells further on.
inline Code cellOfRow(const Code* row, int x) { return row[4 * (x & ~3) + (x & 3)]; }

// A row of count cells into a row of pixels of the given type: for each
// cell the low bytes of the table entry of its code (the background for
// the empty code), four cells at a time.
template <typename Pixel>
void copyRowOverBackground(const Code* cells, Uint8* row, int count, const uint32_t* pixelOf) {
  Pixel* const pixels = reinterpret_cast<Pixel*>(row);
  int x = 0;
  for (; x + 4 <= count; x += 4) {
    const Code* four = cells + 4 * x;
    const Pixel a = static_cast<Pixel>(pixelOf[four[0]]), b = static_cast<Pixel>(pixelOf[four[1]]),
                c = static_cast<Pixel>(pixelOf[four[2]]), d = static_cast<Pixel>(pixelOf[four[3]]);
    pixels[x] = a;
    pixels[x + 1] = b;
    pixels[x + 2] = c;
    pixels[x + 3] = d;
  }
  for (; x < count; ++x) pixels[x] = static_cast<Pixel>(pixelOf[cellOfRow(cells, x)]);
}

// Stores a cell's value as a pixel of the given size: its low byte, its
// low 16 bits, its low three bytes low byte first whatever the machine's
// byte order, or all of it. Other sizes store nothing.
inline void storePixel(Uint8* target, uint32_t value, int bytesPerPixel) {
  switch (bytesPerPixel) {
    case 1:
      *target = static_cast<Uint8>(value);
      break;
    case 2: {
      const Uint16 pixel = static_cast<Uint16>(value);
      memcpy(target, &pixel, sizeof pixel);
      break;
    }
    case 3:
      target[0] = static_cast<Uint8>(value);
      target[1] = static_cast<Uint8>(value >> 8);
      target[2] = static_cast<Uint8>(value >> 16);
      break;
    case 4:
      memcpy(target, &value, sizeof value);
      break;
    default:
      break;
  }
}

// Only the marked cells of a row, each stored as Scene::plot stores it.
void copyMarkedCells(const Code* cells, Uint8* row, int count, int bytesPerPixel,
                     const uint32_t* pixelOf, Code emptyCode) {
  for (int x = 0; x < count; ++x) {
    const Code code = cellOfRow(cells, x);
    if (code != emptyCode) storePixel(row + x * bytesPerPixel, pixelOf[code], bytesPerPixel);
  }
}

// A full-screen depth between whole bytes (9 ... 31 bits, 15 among them)
// goes up to the next whole byte, the depth SDL's own mode search tries
// next when a display lacks the one asked for. SDL's headless driver would
// give such a mode a pixel buffer smaller than its pitch says, and SDL
// itself already writes past it while opening the mode. Other depths are
// SDL's to accept or refuse.
int fullScreenDepth(int bits) {
  if (bits > 8 && bits < 32 && bits % 8 != 0) return (bits + 7) / 8 * 8;
  return bits;
}

// Room for more elements, growing the capacity at least twofold so that
// many small additions stay linear.
template <class T>
void makeRoom(std::vector<T>& list, size_t more) {
  if (list.capacity() - list.size() >= more) return;
  list.reserve(std::max(list.size() + more, 2 * list.capacity()));
}

}  // namespace

Scene::Scene(int width, int height, int trailLength, int speedRange, int depth, bool fullscreen)
    : cells_{nullptr, width, height, 0},
      cellCount_(0),
      ramps_{nullptr, 0},
      width_(static_cast<int16_t>(width)),
      height_(static_cast<int16_t>(height)),
      screen_(nullptr),
      codes_(nullptr),
      claimsLeft_(false),
      backgroundKnown_(false),
      background_(0) {
  srand(static_cast<unsigned>(time(nullptr)));

  const int bits = fullscreen ? fullScreenDepth(static_cast<int16_t>(depth)) : 0;
  const Uint32 flags = fullscreen ? SDL_FULLSCREEN | SDL_DOUBLEBUF : SDL_DOUBLEBUF;
  screen_ = SDL_SetVideoMode(width, height, bits, flags);
  if (!screen_) fatal(1, "Konnte Bildschirmmodus nicht setzten: %s\n", SDL_GetError());

  const int length = static_cast<int16_t>(trailLength);
  ramps_.length = length;
  ramps_.entries = new (std::nothrow) uint32_t[static_cast<size_t>(RAMP_COUNT) * length];
  if (!ramps_.entries) fatal(2, "Konnte Speicher f\xFCr die Farbttabelle nicht reservieren!");
  // A trail of one point has only its pure colour, so no step is needed.
  const int step = length > 1 ? 255 / (length - 1) : 0;
  for (int i = 0; i < length; ++i) {
    const Uint8 f = static_cast<Uint8>(i * step);
    for (int r = 0; r < RAMP_COUNT; ++r) {
      Uint8 red, green, blue;
      rampColour(r, f, &red, &green, &blue);
      ramps_.entries[static_cast<size_t>(r) * length + i] =
          SDL_MapRGB(screen_->format, red, green, blue);
    }
  }

  // Whole tiles of 4 x 4 cells, each on a cache line of its own.
  const size_t tileColumns = width > 0 ? (static_cast<size_t>(width) + 3) / 4 : 0;
  const size_t tileRows = height > 0 ? (static_cast<size_t>(height) + 3) / 4 : 0;
  cells_.tileColumns = static_cast<int>(tileColumns);
  cellCount_ = tileColumns * tileRows * 16;
  codes_ = static_cast<Code*>(
      ::operator new(cellCount_ * sizeof(Code), std::align_val_t(kCacheLineBytes), std::nothrow));
  if (!codes_ || !claims_.allocate(codes_, cellCount_, length, ramps_.entries, RAMP_COUNT))
    fatal(2, "Konnte speicher f\xFCr das Feld nicht reservieren!");

  SharedState& shared = Particle::shared;
  shared.cells = cells_;
  shared.ramps = ramps_;
  shared.fieldWidth = width_;
  shared.fieldHeight = height_;
  shared.trailLength = static_cast<int16_t>(length);
  shared.speedRange = static_cast<int16_t>(speedRange);
}

Scene::~Scene() {
  deleteParticles();
  ::operator delete(codes_, std::align_val_t(kCacheLineBytes));
  delete[] ramps_.entries;
  std::vector<Particle*>().swap(particles_);
  std::vector<ParticleBlock>().swap(blocks_);
  Particle::shared.cells = CellGrid{nullptr, 0, 0};
  Particle::shared.ramps = ColourRamps{nullptr, 0};
}

void Scene::frame() {
  if (!backgroundKnown_) {
    background_ = SDL_MapRGB(screen_->format, 255, 255, 255);
    backgroundKnown_ = true;
    claims_.setEmptyPixel(background_);
  }
  if (particles_.empty()) {
    SDL_FillRect(screen_, nullptr, background_);  // its result does not matter here
    SDL_Flip(screen_);
    return;
  }

  // The random numbers of the frame are all drawn before the fill, as
  // ever, and what every cell shows is settled before it too; only the
  // copy needs the locked surface.
  moveParticles();
  updateTrails();
  if (SDL_FillRect(screen_, nullptr, background_) != 0)
    fatal(6, "Fehler bei FillRect: %s\n", SDL_GetError());
  if (SDL_LockSurface(screen_) != 0) fatal(3, "SDL_LockSurface fehlgeschlagen.\n");
  copyCellsToSurface();
  SDL_UnlockSurface(screen_);
  SDL_Flip(screen_);
}

void Scene::moveParticles() {
  // In list order, so the random numbers come as Particle::update draws
  // them. Moving touches neither the trails nor the grid.
  for (Particle* particle : particles_) particle->move();
}

void Scene::updateTrails() {
  // Every trail drops its oldest point and takes the new head in that
  // point's slot, the same slot in every ring; so does the point's node
  // (see CellClaims). Slot by slot, the trails and nodes lie particle
  // after particle, but the cells anywhere, so those of the particles
  // ahead are asked for early.
  claims_.nextFrame();
  const int slot = claims_.headSlot();
  const size_t count = particles_.size();
  const size_t kAhead = 16;
  for (size_t i = 0; i < count; ++i) {
    if (i + kAhead < count) {
      const Particle* ahead = particles_[i + kAhead];
      claims_.prefetch(claims_.firstNode(i + kAhead) + slot,
                       static_cast<uint32_t>(cells_.index(ahead->x_, ahead->y_)));
    }
    if (i + kAhead / 2 < count) {
      const Particle* ahead = particles_[i + kAhead / 2];
      claims_.prefetchLinks(claims_.firstNode(i + kAhead / 2) + slot, ahead->slot(slot),
                            static_cast<uint32_t>(cells_.index(ahead->x_, ahead->y_)));
    }
    Particle* particle = particles_[i];
    const uint32_t node = claims_.firstNode(i) + slot;
    claims_.release(node, particle->slot(slot));
    particle->shiftTrail();
    claims_.claim(node, particle->slot(slot), claims_.code(i, slot), claims_.firstNode(i + 1));
  }
  claims_.settle();
}

void Scene::copyCellsToSurface() {
  const int rows = height_ < screen_->h ? height_ : screen_->h;
  const int columns = width_ < screen_->w ? width_ : screen_->w;
  const int bytesPerPixel = screen_->format->BytesPerPixel;
  Uint8* const pixels = static_cast<Uint8*>(screen_->pixels);
  const int pitch = screen_->pitch;

  // The background fill of the frame has just put the background into
  // every pixel of the clip rectangle, in the low bytes as plot() stores
  // them at 1, 2 and 4 bytes per pixel. Where that rectangle covers all
  // the copied cells, storing the background for each empty cell leaves
  // those pixels as they are, and whole rows can be written without a
  // branch per cell. (At 3 bytes per pixel the fill's byte order follows
  // the machine while plot() stores the low byte first, so those depths,
  // and a clip rectangle that leaves cells out, take the marked cells one
  // by one.)
  const SDL_Rect& clip = screen_->clip_rect;
  const bool filled = backgroundKnown_ && clip.x <= 0 && clip.y <= 0 &&
                      clip.x + clip.w >= columns && clip.y + clip.h >= rows;

  // A cell's pixel value of this frame is the table entry of its code;
  // the empty code's is the background.
  const uint32_t* const pixelOf = claims_.pixels();
  for (int y = 0; y < rows; ++y) {
    const Code* cells = codes_ + cells_.index(0, y);  // its first four cells; see cellOfRow
    Uint8* row = pixels + static_cast<size_t>(y) * pitch;
    if (filled && bytesPerPixel == 4)
      copyRowOverBackground<Uint32>(cells, row, columns, pixelOf);
    else if (filled && bytesPerPixel == 2)
      copyRowOverBackground<Uint16>(cells, row, columns, pixelOf);
    else if (filled && bytesPerPixel == 1)
      copyRowOverBackground<Uint8>(cells, row, columns, pixelOf);
    else
      copyMarkedCells(cells, row, columns, bytesPerPixel, pixelOf, claims_.emptyCode());
  }
}

void Scene::plot(int x, int y) {
  if (x < 0 || x >= screen_->w || y < 0 || y >= screen_->h) return;
  const Uint8 bytesPerPixel = screen_->format->BytesPerPixel;
  Uint8* target = static_cast<Uint8*>(screen_->pixels) + y * screen_->pitch + x * bytesPerPixel;
  storePixel(target, cellValue(x, y), bytesPerPixel);
}

uint32_t Scene::cellValue(int x, int y) const {
  const Code code = codes_[cells_.index(x, y)];
  return code == claims_.emptyCode() ? EMPTY_CELL : claims_.pixels()[code];
}

void Scene::addParticles(int x, int y, int count, int colour) {
  if (count <= 0) return;
  const size_t length = static_cast<size_t>(Particle::shared.trailLength);
  const size_t particles = static_cast<size_t>(count);
  void* objects = particles <= SIZE_MAX / sizeof(Particle)
                      ? ::operator new(particles * sizeof(Particle), std::nothrow)
                      : nullptr;
  if (!objects) fatal(2, "Konnte Speicher f\xFCr das Teilchen nicht reservieren!\n");
  void* trails = particles <= SIZE_MAX / sizeof(uint32_t) / length
                     ? ::operator new(particles* length * sizeof(uint32_t), std::nothrow)
                     : nullptr;
  if (!trails) fatal(2, "Konnte Speicher f\xFCr den Schweif nicht reservieren!");
  try {
    makeRoom(blocks_, 1);
    makeRoom(particles_, particles);
  } catch (const std::bad_alloc&) {
    fatal(2, "Konnte Speicher f\xFCr das Teilchen nicht reservieren!\n");
  } catch (const std::length_error&) {
    fatal(2, "Konnte Speicher f\xFCr das Teilchen nicht reservieren!\n");
  }

  const size_t before = particles_.size();
  if (!claims_.reserve(before + particles))
    fatal(2, "Konnte Speicher f\xFCr das Teilchen nicht reservieren!\n");
  if (claimsLeft_) {
    claims_.clear();
    claimsLeft_ = false;
  }

  // The trails lie slot by slot: slot s of every particle of the block,
  // then slot s + 1. Every point of a new trail lies on the start cell, so
  // its ring may start turned to the slot of every other trail's head.
  ParticleBlock block{static_cast<Particle*>(objects), static_cast<uint32_t*>(trails), count};
  const int head = claims_.headSlot();
  for (size_t i = 0; i < particles; ++i) {
    Particle* particle =
        new (block.particles + i) Particle(x, y, colour, block.trails + i, count, head);
    particles_.push_back(particle);
    const size_t p = before + i;
    claims_.addParticle(p, colour);
    for (size_t n = length; n-- > 0;) {
      const int s = static_cast<int>((head + n) % length);
      claims_.claim(claims_.firstNode(p) + s, particle->slot(s), claims_.code(p, s),
                    claims_.firstNode(p + 1));
    }
  }
  blocks_.push_back(block);
}

void Scene::deleteParticles() {
  while (!blocks_.empty()) {
    const ParticleBlock& block = blocks_.back();
    for (int i = block.count; i-- > 0;) {
      block.particles[i].~Particle();
      particles_.pop_back();
    }
    ::operator delete(block.particles);
    ::operator delete(block.trails);
    blocks_.pop_back();
    claimsLeft_ = true;
  }
}
