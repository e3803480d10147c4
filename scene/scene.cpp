#include "scene/scene.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <stdexcept>
#include <type_traits>

#include "scene/fatal.h"

namespace {

// The red, green and blue of ramp r at shade f: the pure colour at f = 0,
// paler as f grows towards 255.
void rampColour(int r, Uint8 f, Uint8* red, Uint8* green, Uint8* blue) {
  *red = kRampColours[r][0] ? 255 : f;
  *green = kRampColours[r][1] ? 255 : f;
  *blue = kRampColours[r][2] ? 255 : f;
}

typedef CellGrid::Code Code;

// Pixels side by side in one word, so that a store of the word puts them
// into memory in this order, whatever the machine's byte order.
template <typename Word, typename Pixel>
inline Word inMemoryOrder(const Pixel* pixels) {
  const int count = sizeof(Word) / sizeof(Pixel);
  const int bits = 8 * sizeof(Pixel);
  Word word = 0;
  for (int i = 0; i < count; ++i) {
#if SDL_BYTEORDER == SDL_BIG_ENDIAN
    word = static_cast<Word>(word << bits | pixels[i]);
#else
    word = static_cast<Word>(word | static_cast<Word>(pixels[i]) << (bits * i));
#endif
  }
  return word;
}

// Four cells, side by side, as pixels of the given type: for each the low
// bytes of the table entry of its code (the background for the empty
// code), stored in one or two words.
template <typename Pixel>
inline void copyQuad(const Code* four, Uint8* target, const uint32_t* pixelOf) {
  // Four pixels of 8 bits make a 32-bit word, of 16 or 32 bits 64-bit ones.
  typedef typename std::conditional<sizeof(Pixel) == 1, uint32_t, uint64_t>::type Word;
  const int perWord = sizeof(Word) / sizeof(Pixel);
  const Pixel quad[4] = {static_cast<Pixel>(pixelOf[four[0]]), static_cast<Pixel>(pixelOf[four[1]]),
                         static_cast<Pixel>(pixelOf[four[2]]),
                         static_cast<Pixel>(pixelOf[four[3]])};
  for (int i = 0; i < 4; i += perWord) {
    const Word word = inMemoryOrder<Word>(quad + i);
    memcpy(target + i * sizeof(Pixel), &word, sizeof word);
  }
}

// What the copy does with a tile of empty cells: writes it like any
// other, counts it too, or counts it and keeps the background the fill
// painted there.
enum class EmptyTiles { kCopy, kCount, kSkip };

// A band of rowCount (1 to 4) rows of count cells into rows of pixels of
// the given type, pitch bytes apart, tile by tile; the empty tiles seen
// as the way says (none when it copies them). The copy is bound by its
// stores, so four pixels go out in one or two.
template <typename Pixel>
size_t copyBandOverBackground(const Code* band, Uint8* row, int pitch, int rowCount, int count,
                              const uint32_t* pixelOf, Code emptyCode, EmptyTiles way) {
  const uint64_t empty = emptyCode * uint64_t{0x0001000100010001};
  size_t emptyTiles = 0;
  int x = 0;
  for (; x + 4 <= count; x += 4) {
    const Code* const tile = CellGrid::rowQuad(band, x);
    if (way != EmptyTiles::kCopy) {
      uint64_t quads[4];
      memcpy(quads, tile, sizeof quads);
      const bool isEmpty =
          ((quads[0] ^ empty) | (quads[1] ^ empty) | (quads[2] ^ empty) | (quads[3] ^ empty)) == 0;
      emptyTiles += isEmpty;
      if (way == EmptyTiles::kSkip && isEmpty) continue;
    }
    Uint8* target = row + x * sizeof(Pixel);
    for (int r = 0; r < rowCount; ++r, target += pitch)
      copyQuad<Pixel>(tile + 4 * r, target, pixelOf);
  }
  for (int r = 0; r < rowCount; ++r) {
    Pixel* const pixels = reinterpret_cast<Pixel*>(row + static_cast<size_t>(r) * pitch);
    const Code* const cells = band + 4 * r;
    for (int c = x; c < count; ++c)
      pixels[c] = static_cast<Pixel>(pixelOf[CellGrid::rowCell(cells, c)]);
  }
  return emptyTiles;
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

// Cells a clear of the whole grid goes through in about the time it takes
// to empty one dropped point's cell, a miss in the cache (see
// turnTrails()). Timed both ways with 16-bit cells in one run (Intel
// Xeon): with 154 cells a particle (2,000 on 640 x 480) emptying took
// 0.154 ms a frame against the clear's 0.157, with 104 (20,000 on 1920 x
// 1080) 2.59 against 2.53: even between the two. Where trails pile, the
// dropped cells are few and in the cache: 2,456 particles bouncing in the
// corners of 640 x 480 (125 cells a particle) took 0.50 ms a frame with
// the clear, 0.35-0.47 emptying (AMD EPYC), as the redraw-only design did.
const size_t kCellsPerDroppedPoint = 100;

// A point copied on its own costs about as much as copying 10 to 20 cells
// row by row: it looks up its cell and stores its pixel out of row order,
// mostly missing the cache. Timed on AMD EPYC in one run, each frame
// forced both ways: 40,000 points on 640 x 480 (a point for 7.7 cells)
// 0.58 ms a frame point by point against 0.30 row by row; 500,000 on 1280
// x 720 6.7 against 1.4; the bundled file as a screensaver on 1920 x 1080
// (1,400 points) 7.9 % of a core at 60 frames a second against 15.4 %.
// Twice the break-even, so that a machine whose cache misses cost twice
// as much still gains where points are copied on their own.
const size_t kCellsPerCopiedPoint = 32;

// See copyCellsToSurface().
const size_t kSkipFromEmptyQuarters = 3;
const int kCountEvery = 16;

// The page has the browser's SDL paint the background fill onto the canvas
// alone, not into the surface's memory, so that a lock need not read the
// canvas back: there the copy writes every pixel, the background too.
#ifdef __EMSCRIPTEN__
const bool kFillReachesSurface = false;
#else
const bool kFillReachesSurface = true;
#endif

// How many particles ahead of the one at hand claimNewHeads() asks for the
// cells that particle will release and claim, and half as far ahead for
// the links those lead to. 4 ahead was slower on 5,000 x 400 (AMD EPYC);
// 8, 16 and 32 took alike there and again on an Intel Xeon (1.57, 1.69
// and 1.60 ms a frame).
const size_t kPrefetchAhead = 16;

[[noreturn]] void noMemoryForParticles() {
  fatal(2, "Konnte Speicher f\xFCr das Teilchen nicht reservieren!\n");
}

// Room for more elements, growing the capacity at least twofold so that
// many small additions stay linear.
template <class T>
void makeRoom(std::vector<T>& list, size_t more) {
  if (list.capacity() - list.size() >= more) return;
  list.reserve(std::max(list.size() + more, 2 * list.capacity()));
}

// Why the rows of the surface cannot be told apart, or null when they can.
// SDL keeps the pitch in 16 bits: a row of more bytes wraps it, and every
// row would land on the first.
const char* rowsOverlap(const SDL_Surface& screen, char* reason, size_t size) {
  const long rowBytes = static_cast<long>(screen.w) * screen.format->BytesPerPixel;
  if (screen.pitch >= rowBytes) return nullptr;
  snprintf(reason, size, "Pitch too small for a row of %ld bytes", rowBytes);
  return reason;
}

}  // namespace

Scene::Scene(int width, int height, int trailLength, int speedRange, int depth, bool fullscreen)
    : ramps_{nullptr, 0},
      width_(static_cast<int16_t>(width)),
      height_(static_cast<int16_t>(height)),
      trailLength_(static_cast<int16_t>(trailLength)),
      screen_(nullptr),
      headSlot_(0),
      settledByClaims_(false),
      moveCost_(0),
      shareCost_(0),
      marksLeft_(false),
      clearAll_(false),
      backgroundKnown_(false),
      background_(0) {
  srand(static_cast<unsigned>(time(nullptr)));

  const int bits = fullscreen ? fullScreenDepth(static_cast<int16_t>(depth)) : 0;
  const Uint32 flags = fullscreen ? SDL_FULLSCREEN | SDL_DOUBLEBUF : SDL_DOUBLEBUF;
  screen_ = SDL_SetVideoMode(width, height, bits, flags);
  // A mode whose rows overlap cannot be drawn in: as good as not set.
  char overlap[64];
  const char* modeError = screen_ ? rowsOverlap(*screen_, overlap, sizeof overlap) : SDL_GetError();
  if (modeError) fatal(1, "Konnte Bildschirmmodus nicht setzten: %s\n", modeError);

  const int length = trailLength_;
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

  if (!cells_.allocate(width, height, length, ramps_.entries, RAMP_COUNT))
    fatal(2, "Konnte speicher f\xFCr das Feld nicht reservieren!");

  SharedState& shared = Particle::shared;
  shared.cells = &cells_;
  shared.ramps = ramps_;
  shared.fieldWidth = width_;
  shared.fieldHeight = height_;
  shared.trailLength = static_cast<int16_t>(length);
  shared.speedRange = static_cast<int16_t>(speedRange);
}

Scene::~Scene() {
  deleteParticles();
  delete[] ramps_.entries;
  Particle::shared.cells = nullptr;
  Particle::shared.ramps = ColourRamps{nullptr, 0};
}

void Scene::frame() {
  if (!backgroundKnown_) {
    background_ = SDL_MapRGB(screen_->format, 255, 255, 255);
    backgroundKnown_ = true;
    cells_.setBackground(background_);
  }
  if (particles_.empty()) {
    SDL_FillRect(screen_, nullptr, background_);  // its result does not matter here
    SDL_Flip(screen_);
    return;
  }

  // The random numbers of the frame are all drawn before the fill, as
  // ever. The trails are drawn only after the lock, right before the copy,
  // while the cells they touch are still in the cache.
  moveParticles();
  if (SDL_FillRect(screen_, nullptr, background_) != 0)
    fatal(6, "Fehler bei FillRect: %s\n", SDL_GetError());
  if (SDL_LockSurface(screen_) != 0) fatal(3, "SDL_LockSurface fehlgeschlagen.\n");
  drawTrails();
  copyCellsToSurface();
  SDL_UnlockSurface(screen_);
  SDL_Flip(screen_);
}

uint64_t Scene::nanoseconds() const {
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}

void Scene::moveParticles() {
  // While the lists are made anew, a share of the particles claims its
  // trail, as it lies before the move, in each frame.
  const uint64_t begun = nanoseconds();
  const Settling::Share share = settling_.beginFrame();
  if (share.end > share.first) claimTrails(share.first, share.end);
  const uint64_t shared = nanoseconds();
  // Every trail drops its oldest point and takes the new head in that
  // point's slot, the same slot in every ring.
  headSlot_ = headSlot_ == 0 ? trailLength_ - 1 : headSlot_ - 1;
  cells_.turn(headSlot_);
  if (settling_.claimed() > 0)
    claimNewHeads();
  else
    turnTrails();
  moveCost_ = nanoseconds() - shared;
  shareCost_ = shared - begun;
}

bool Scene::redrawClearsAll() const {
  // One dropped point's cell costs about as much as kCellsPerDroppedPoint
  // cells of a clear of the whole grid, so many particles on a small grid
  // take the clear.
  return marksLeft_ || particles_.size() > cells_.cellCount() / kCellsPerDroppedPoint;
}

void Scene::turnTrails() {
  // In list order, so that the random numbers come as ever, each particle
  // moves and its trail takes the new head. The cell of the point dropped
  // is emptied, unless drawTrails() is to clear the whole grid.
  clearAll_ = redrawClearsAll();
  Code* const codes = cells_.codes();
  const Code empty = cells_.emptyCode();
  const int head = headSlot_;
  const size_t length = static_cast<size_t>(trailLength_);
  for (const ParticleBlock& block : blocks_) {
    uint32_t* slot = block.trails + head;
    for (size_t i = 0; i < block.count; ++i, slot += length) {
      Particle& particle = block.particles[i];
      particle.move();
      if (!clearAll_) codes[*slot] = empty;
      *slot = static_cast<uint32_t>(cells_.index(particle.x(), particle.y()));
    }
  }
}

void Scene::drawTrails() {
  // With claims, the cells are settled already. Otherwise every trail is
  // drawn over whatever its cells hold, the last particle first and each
  // from its head to its oldest point, so that a cell ends with the point
  // that covers all others there. Either way the frame tells the settling
  // what it cost, and what a redraw beside the claims cost where it asks
  // for one. (That leaves out the moves a frame by the redraw makes too:
  // a few percent of it.)
  const uint64_t begun = nanoseconds();
  settledByClaims_ = settling_.byClaims();
  if (!settledByClaims_) redraw();
  const uint64_t drawn = nanoseconds();
  uint64_t beside = 0;
  if (settling_.timesRedraw()) {
    clearAll_ = redrawClearsAll();
    redraw();
    beside = nanoseconds() - drawn;
  }
  settling_.frameDone(moveCost_ + (drawn - begun), shareCost_, beside);
}

void Scene::redraw() {
  if (clearAll_) {
    cells_.clear();
    marksLeft_ = false;
  }
  Code* const codes = cells_.codes();
  const int head = headSlot_;
  const int length = trailLength_;
  // A point's code is the first of its colour, plus its slot where the
  // ramps fade: one add a point, where asking the grid for every code
  // took 8.5 instructions a point against the 6 of drawing pixel values.
  const bool fades = length > 1 && cells_.code(0, 1) != cells_.code(0, 0);
  for (size_t b = blocks_.size(); b-- > 0;) {
    const ParticleBlock& block = blocks_[b];
    const size_t count = block.count;
    for (size_t i = count; i-- > 0;) {
      // From the head to the ring's end, then the older points from its
      // start.
      const uint32_t* const trail = block.trails + i * length;
      const Code first = cells_.code(block.particles[i].colour(), 0);
      if (fades) {
        for (int s = head; s < length; ++s) codes[trail[s]] = static_cast<Code>(first + s);
        for (int s = 0; s < head; ++s) codes[trail[s]] = static_cast<Code>(first + s);
      } else {
        for (int s = head; s < length; ++s) codes[trail[s]] = first;
        for (int s = 0; s < head; ++s) codes[trail[s]] = first;
      }
    }
  }
}

void Scene::claimNewHeads() {
  // In list order, each particle moves; the node of its oldest point
  // gives up its cell and, as the new head, claims the head's cell. Only
  // where the point shown changes does a cell take a new code. The nodes
  // of a frame lie in storage order, the trails one after the other; the
  // cells lie anywhere. So the head slot of the particle twice
  // kPrefetchAhead ahead is asked for early, then the cells of the one
  // kPrefetchAhead ahead, then the links those lead to.
  // While the lists hold only the first claimed particles, the others
  // move as for a redraw, which settles the frame.
  CellClaims& claims = settling_.lists();
  const size_t claimed = settling_.claimed();
  if (!settling_.byClaims()) clearAll_ = redrawClearsAll();
  Code* const codes = cells_.codes();
  const Code empty = cells_.emptyCode();
  const int head = headSlot_;
  const size_t length = static_cast<size_t>(trailLength_);
  // The slot of the last frame's heads.
  const int previous = head + 1 == trailLength_ ? 0 : head + 1;
  for (const ParticleBlock& block : blocks_) {
    uint32_t* const heads = block.trails + head;  // particle i's at heads[i * length]
    for (size_t i = 0; i < block.count; ++i) {
      if (i + 2 * kPrefetchAhead < block.count)
        __builtin_prefetch(&heads[(i + 2 * kPrefetchAhead) * length], 1);
      if (i + kPrefetchAhead < block.count) {
        const Particle& ahead = block.particles[i + kPrefetchAhead];
        const uint32_t dropped = heads[(i + kPrefetchAhead) * length];
        const uint32_t near = nextCell(ahead);
        claims.prefetchCell(dropped);
        claims.prefetchCell(near);
        __builtin_prefetch(&codes[dropped], 1);
        __builtin_prefetch(&codes[near], 1);
      }
      if (i + kPrefetchAhead / 2 < block.count) {
        const Particle& ahead = block.particles[i + kPrefetchAhead / 2];
        claims.prefetchNeighbours(claims.node(block.first + i + kPrefetchAhead / 2, head),
                                  nextCell(ahead));
      }
      Particle& particle = block.particles[i];
      particle.move();
      const size_t p = block.first + i;
      uint32_t& slot = heads[i * length];
      const uint32_t dropped = slot;
      const uint32_t cell = static_cast<uint32_t>(cells_.index(particle.x(), particle.y()));
      slot = cell;
      if (p >= claimed) {
        if (!clearAll_) codes[dropped] = empty;
        continue;
      }
      const uint32_t node = claims.node(p, head);
      if (claims.release(node, dropped))
        codes[dropped] = codeOfNode(claims.front(dropped), p, particle);
      // A particle that stays where it was (blocked, or piled with its
      // group on a border cell) goes right after its last head.
      const uint32_t younger = block.trails[i * length + previous] == cell
                                   ? claims.node(p, previous)
                                   : CellClaims::kNone;
      if (claims.claim(node, cell, claims.node(p + 1, 0), younger))
        codes[cell] = cells_.code(particle.colour(), head);
    }
  }
  const bool walked = claims.finishClaims(
      settling_.walkBudget(), [this, &claims, codes, head](uint32_t node, uint32_t cell) {
        codes[cell] = cells_.code(particles_[claims.particleOf(node)]->colour(), head);
      });
  if (!walked) {
    // The lists no longer say what the cells show: this frame draws every
    // trail over a cleared grid, and the settling pauses the claims.
    settling_.walksOverran();
    clearAll_ = true;
  }
}

uint32_t Scene::nextCell(const Particle& particle) const {
  int x = particle.nextX(), y = particle.nextY();
  if (x < 0 || x >= width_) x = particle.x();
  if (y < 0 || y >= height_) y = particle.y();
  return static_cast<uint32_t>(cells_.index(x, y));
}

CellGrid::Code Scene::codeOfNode(uint32_t node, size_t p, const Particle& particle) const {
  if (node == CellClaims::kNone) return cells_.emptyCode();
  const CellClaims& claims = settling_.lists();
  const size_t owner = claims.particleOf(node);
  const int colour = owner == p ? particle.colour() : particles_[owner]->colour();
  return cells_.code(colour, claims.slotOf(node));
}

void Scene::claimTrails(size_t first, size_t end) {
  // Particle after particle, each from its oldest point to its head, as
  // the lists keep them: every claim goes to the end of its cell's list,
  // where only earlier particles' nodes lie, so none has to wait. The
  // oldest point lies in the slot before the head's, so a ring is read
  // backwards from there, round to the head. The cells lie anywhere: the
  // cell of the point kPrefetchAhead claims on is asked for early, and
  // the end of its list half as far ahead.
  CellClaims& claims = settling_.lists();
  const int length = trailLength_;
  const int head = headSlot_;
  // Within the ring, however short.
  const int aheadBy = static_cast<int>(kPrefetchAhead) % length;
  const int nearBy = static_cast<int>(kPrefetchAhead / 2) % length;
  Code* const codes = cells_.codes();
  for (const ParticleBlock& block : blocks_) {
    for (size_t i = 0; i < block.count; ++i) {
      const size_t p = block.first + i;
      if (p < first || p >= end) continue;
      const Particle& particle = block.particles[i];
      const uint32_t* const trail = block.trails + i * length;
      const uint32_t laterNodes = claims.node(p + 1, 0);
      int slot = head;
      for (int n = 0; n < length; ++n) {
        slot = slot == 0 ? length - 1 : slot - 1;
        int ahead = slot - aheadBy;
        if (ahead < 0) ahead += length;
        claims.prefetchCell(trail[ahead]);
        __builtin_prefetch(&codes[trail[ahead]], 1);
        int near = slot - nearBy;
        if (near < 0) near += length;
        claims.prefetchEnd(trail[near]);
        const uint32_t cell = trail[slot];
        if (claims.claim(claims.node(p, slot), cell, laterNodes))
          codes[cell] = cells_.code(particle.colour(), slot);
      }
    }
  }
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
  // and a clip rectangle that leaves cells out, plot the marked cells one
  // by one.)
  const SDL_Rect& clip = screen_->clip_rect;
  const bool filled = backgroundKnown_ && clip.x <= 0 && clip.y <= 0 &&
                      clip.x + clip.w >= columns && clip.y + clip.h >= rows;

  // A cell's pixel value of this frame is the table entry of its code;
  // the empty code's is the background.
  const uint32_t* const pixelOf = cells_.pixels();

  // A field where the trails cover few of the cells (a screensaver's
  // whole screen with the bundled file's 1,400 points) is copied point by
  // point: only a point's cell is marked, and the fill has painted the
  // rest. That writes what the rows below write, wherever trails cross.
  const size_t points = particles_.size() * static_cast<size_t>(trailLength_);
  if (kFillReachesSurface && !marksLeft_ &&
      points * kCellsPerCopiedPoint < static_cast<size_t>(rows) * columns) {
    const Code* const codes = cells_.codes();
    for (const ParticleBlock& block : blocks_) {
      const uint32_t* const end = block.trails + block.count * trailLength_;
      for (const uint32_t* slot = block.trails; slot != end; ++slot) {
        const Code code = codes[*slot];
        int x, y;
        cells_.position(*slot, &x, &y);
        if (code == cells_.emptyCode() || x >= columns || y >= rows) continue;
        storePixel(pixels + static_cast<size_t>(y) * pitch + x * bytesPerPixel, pixelOf[code],
                   bytesPerPixel);
      }
    }
    return;
  }

  if (filled && (bytesPerPixel == 1 || bytesPerPixel == 2 || bytesPerPixel == 4)) {
    // Skipping a tile saves its copy but costs a mispredicted branch
    // wherever empty and full tiles alternate: S (640 x 480, 2,000 x 20,
    // 30 % of its tiles empty) took 0.41 ms a frame skipping against 0.35
    // copying; the four-corner file (95 % empty) copied in half the time
    // skipping (AMD EPYC). So the copy skips while the frame before had
    // kSkipFromEmptyQuarters quarters of its tiles empty or more, and
    // counts them, where it does not skip, every kCountEvery frames.
    const EmptyTiles way = !kFillReachesSurface                ? EmptyTiles::kCopy
                           : skipEmptyTiles_                   ? EmptyTiles::kSkip
                           : ++copiesUncounted_ >= kCountEvery ? EmptyTiles::kCount
                                                               : EmptyTiles::kCopy;
    size_t emptyTiles = 0;
    for (int y = 0; y < rows; y += 4) {
      const Code* band = cells_.row(y);
      Uint8* row = pixels + static_cast<size_t>(y) * pitch;
      const int rowCount = rows - y < 4 ? rows - y : 4;
      if (bytesPerPixel == 4)
        emptyTiles += copyBandOverBackground<Uint32>(band, row, pitch, rowCount, columns, pixelOf,
                                                     cells_.emptyCode(), way);
      else if (bytesPerPixel == 2)
        emptyTiles += copyBandOverBackground<Uint16>(band, row, pitch, rowCount, columns, pixelOf,
                                                     cells_.emptyCode(), way);
      else
        emptyTiles += copyBandOverBackground<Uint8>(band, row, pitch, rowCount, columns, pixelOf,
                                                    cells_.emptyCode(), way);
    }
    if (way != EmptyTiles::kCopy) {
      const size_t tiles = static_cast<size_t>((rows + 3) / 4) * static_cast<size_t>(columns / 4);
      skipEmptyTiles_ = emptyTiles * 4 >= tiles * kSkipFromEmptyQuarters;
      copiesUncounted_ = 0;
    }
    return;
  }
  for (int y = 0; y < rows; ++y) {
    const Code* cells = cells_.row(y);
    for (int x = 0; x < columns; ++x)
      if (CellGrid::rowCell(cells, x) != cells_.emptyCode()) plot(x, y);
  }
}

void Scene::plot(int x, int y) {
  if (x < 0 || x >= screen_->w || y < 0 || y >= screen_->h) return;
  const Uint8 bytesPerPixel = screen_->format->BytesPerPixel;
  Uint8* target = static_cast<Uint8*>(screen_->pixels) + y * screen_->pitch + x * bytesPerPixel;
  storePixel(target, cells_.pixelValue(x, y), bytesPerPixel);
}

void Scene::addParticles(int x, int y, int count, int colour) {
  if (count <= 0) return;
  const size_t length = static_cast<size_t>(trailLength_);
  const size_t particles = static_cast<size_t>(count);
  void* objects = particles <= SIZE_MAX / sizeof(Particle)
                      ? ::operator new(particles * sizeof(Particle), std::nothrow)
                      : nullptr;
  if (!objects) noMemoryForParticles();
  void* trails = particles <= SIZE_MAX / sizeof(uint32_t) / length
                     ? ::operator new(particles* length * sizeof(uint32_t), std::nothrow)
                     : nullptr;
  if (!trails) fatal(2, "Konnte Speicher f\xFCr den Schweif nicht reservieren!");
  try {
    makeRoom(blocks_, 1);
    makeRoom(particles_, particles);
  } catch (const std::bad_alloc&) {
    noMemoryForParticles();
  } catch (const std::length_error&) {
    noMemoryForParticles();
  }

  const size_t before = particles_.size();
  ParticleBlock block{static_cast<Particle*>(objects), static_cast<uint32_t*>(trails), particles,
                      before};
  for (size_t i = 0; i < particles; ++i)
    particles_.push_back(new (block.particles + i) Particle(x, y, colour));
  // Every point of a new trail lies on the start cell, so its ring may
  // start turned to the slot of every other trail's head.
  const Particle& start = block.particles[0];
  std::fill(block.trails, block.trails + particles * length,
            static_cast<uint32_t>(cells_.index(start.x(), start.y())));
  blocks_.push_back(block);
  settling_.particlesAdded(cells_.cellCount(), trailLength_, particles_.size());
}

void Scene::deleteParticles() {
  while (!blocks_.empty()) {
    const ParticleBlock& block = blocks_.back();
    for (size_t i = block.count; i-- > 0;) {
      block.particles[i].~Particle();
      particles_.pop_back();
    }
    ::operator delete(block.particles);
    ::operator delete(block.trails);
    blocks_.pop_back();
    marksLeft_ = true;
  }
  settling_.particlesGone();
}
