#ifndef FLIMMERWERK_SCENE_SCENE_H_
#define FLIMMERWERK_SCENE_SCENE_H_

#include <SDL.h>

#include <cstdint>
#include <vector>

#include "scene/cell_claims.h"
#include "scene/particle.h"

// Everything that is drawn. Owns the particles, the cell grid and the
// colour ramps, and publishes them in Particle::shared; the display
// surface belongs to SDL.
class Scene {
 public:
  // Seeds rand with the time, opens the display and builds the ramps and
  // the grid. Ends the process with status 1 or 2 when it cannot.
  Scene(int width, int height, int trailLength, int speedRange, int depth, bool fullscreen);
  // Touches no SDL object, so it may run after SDL_Quit.
  virtual ~Scene();

  Scene(const Scene&) = delete;
  Scene& operator=(const Scene&) = delete;

  // One animation step: clear the grid, move and mark every particle,
  // paint the background, copy the marked cells and flip.
  void frame();
  // Copies cell (x, y) into the locked surface; ignored outside it.
  void plot(int x, int y);
  // The pixel value cell (x, y) shows, or EMPTY_CELL.
  uint32_t cellValue(int x, int y) const;

  // The steps of a frame with particles, for timing them one by one. In
  // frame order: moveParticles() turns and moves every particle's head,
  // drawing all the random numbers of the frame; updateTrails() shifts
  // every trail and settles which point each cell shows; (the background
  // fill and the lock are the caller's); copyCellsToSurface() writes this
  // frame's pixel value of every cell a point lies on into the locked
  // surface, which has just been filled with the background.
  void moveParticles();
  void updateTrails();
  void copyCellsToSurface();

  // Appends count particles starting at (x, y); nothing when count <= 0.
  void addParticles(int x, int y, int count, int colour);
  // Destroys every particle, last first, and empties the list.
  void deleteParticles();

  SDL_Surface* screen() const { return screen_; }
  const std::vector<Particle*>& particles() const { return particles_; }

 private:
  // The particles of one addParticles call, side by side, and their
  // trails slot by slot: slot s of every particle's ring, then slot s + 1.
  // A frame shifts every trail in the same slot (see CellClaims), and so
  // walks the particles and that slot of their trails in storage order.
  struct ParticleBlock {
    Particle* particles;  // count objects
    uint32_t* trails;     // count * trail length cells
    int count;
  };

  std::vector<ParticleBlock> blocks_;  // creation order
  std::vector<Particle*> particles_;   // creation order, into the blocks
  CellGrid cells_;                     // tiled; its shape only, no cells
  size_t cellCount_;                   // with the padding to whole tiles
  ColourRamps ramps_;
  int16_t width_;
  int16_t height_;
  SDL_Surface* screen_;  // owned by SDL

  // Which point each cell shows: per cell, in the grid's tiles, the code
  // of the point, and the claims behind it. Cleared when particles come
  // after a deletion (claimsLeft_ set), not at the deletion, which the
  // teardown runs too.
  CellClaims::Code* codes_;
  CellClaims claims_;
  bool claimsLeft_;

  // Mapped on the first frame and kept for the rest of the run.
  bool backgroundKnown_;
  Uint32 background_;
};

#endif  // FLIMMERWERK_SCENE_SCENE_H_
