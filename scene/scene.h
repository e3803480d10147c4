#ifndef FLIMMERWERK_SCENE_SCENE_H_
#define FLIMMERWERK_SCENE_SCENE_H_

#include <SDL.h>

#include <cstdint>
#include <vector>

#include "scene/cell_claims.h"
#include "scene/cell_grid.h"
#include "scene/particle.h"

// Everything that is drawn. Owns the particles with their trails, the cell
// grid and the colour ramps, and publishes them in Particle::shared; the
// display surface belongs to SDL.
class Scene {
 public:
  // Seeds rand with the time, opens the display and builds the ramps and
  // the grid. Ends the process with status 1 or 2 when it cannot.
  Scene(int width, int height, int trailLength, int speedRange, int depth, bool fullscreen);
  // Touches no SDL object, so it may run after SDL_Quit.
  virtual ~Scene();

  Scene(const Scene&) = delete;
  Scene& operator=(const Scene&) = delete;

  // One animation step: move every particle and settle what each cell
  // shows, paint the background, copy the cells into the surface, flip.
  void frame();
  // Copies cell (x, y) into the locked surface; ignored outside it.
  void plot(int x, int y);

  // The steps of a frame with particles that are the scene's own, in
  // frame order, for timing them one by one. moveParticles() moves every
  // particle, drawing all the random numbers of the frame, and turns the
  // trails; with claims, that settles what each cell shows. (The
  // background fill and the lock come next.) drawTrails() settles the
  // cells without claims. copyCellsToSurface() writes the cells into the
  // locked surface, just filled with the background: every cell, the empty
  // ones as the background, where the fill covered them all at 1, 2 or 4
  // bytes a pixel; else, or where the points are few against the cells,
  // only the cells a point lies on.
  void moveParticles();
  void drawTrails();
  void copyCellsToSurface();

  // Appends count particles starting at (x, y); nothing when count <= 0.
  void addParticles(int x, int y, int count, int colour);
  // Destroys every particle, last first, and empties the list.
  void deleteParticles();

  // Whether the frame just drawn settled its cells by the claims, or by
  // drawing every trail; and the way the next frame goes (see Settling).
  bool settledByClaims() const { return settledByClaims_; }
  Settling::State settling() const { return settling_.state(); }

  // The particles in list order. (The display surface is SDL's own:
  // SDL_GetVideoSurface().)
  const std::vector<Particle*>& particles() const { return particles_; }

 protected:
  // A monotonic clock in nanoseconds, by which the scene times its own
  // frames to choose their way.
  virtual uint64_t nanoseconds() const;

 private:
  // The particles of one addParticles call side by side, and their trail
  // rings one after the other, each slot holding a cell's index in the
  // grid (CellGrid::index): a redraw reads every ring whole.
  struct ParticleBlock {
    Particle* particles;  // count objects
    uint32_t* trails;     // count * trail length cells
    size_t count;
    size_t first;  // the place of the first in the list
  };

  // The two ways of settling the cells (see Settling): without claims,
  // turnTrails() and then drawTrails(); with them, claimNewHeads().
  void turnTrails();
  void redraw();
  void claimNewHeads();
  // Claims the trail points of the particles from first to end, which
  // follow every particle the lists hold.
  void claimTrails(size_t first, size_t end);
  // Whether a redraw clears the whole grid rather than the dropped points'
  // cells.
  bool redrawClearsAll() const;
  // The cell the particle will most likely claim in the next frame.
  uint32_t nextCell(const Particle& particle) const;
  // The code of the point node shows, or the empty code for kNone; the
  // node is most often one of particle p's, which is at hand.
  CellGrid::Code codeOfNode(uint32_t node, size_t p, const Particle& particle) const;

  std::vector<ParticleBlock> blocks_;  // creation order
  std::vector<Particle*> particles_;   // creation order, into the blocks
  CellGrid cells_;
  ColourRamps ramps_;
  int16_t width_;
  int16_t height_;
  int trailLength_;
  SDL_Surface* screen_;  // owned by SDL

  // The slot of every trail's head in the frame at hand.
  int headSlot_;
  // The way frames settle, with the lists of the claims.
  Settling settling_;
  bool settledByClaims_;
  // What the frame at hand has cost so far: its moves, and the share of
  // the lists it made before them.
  uint64_t moveCost_;
  uint64_t shareCost_;
  // Whether the grid holds cells of particles that are gone.
  bool marksLeft_;
  // Whether the copy skips the tiles of empty cells, and the copies
  // since it last counted them.
  bool skipEmptyTiles_ = false;
  int copiesUncounted_ = 0;
  // Whether drawTrails() clears the whole grid in this frame.
  bool clearAll_;

  // Mapped on the first frame and kept for the rest of the run.
  bool backgroundKnown_;
  Uint32 background_;
};

#endif  // FLIMMERWERK_SCENE_SCENE_H_
