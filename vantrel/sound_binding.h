// The quadrant's hold on the outside sound library "GaugeSound": taken at a
// gauge's first use, looked up again every frame, ended at take-down. The
// gauge plays no sound itself; its one call into the library is
// TerminateSounds. The library may be absent; the gauge works the same.
#pragma once

namespace vantrel {

// Service 4: loads the library unless a handle is already held.
void bindSoundLibrary();

// Service 6: looks the library up again, loading it if it was unloaded.
void rebindSoundLibrary();

// Service 12: on the last shown instance's take-down, ends the library's
// sounds and gives back every reference the module took.
void releaseSoundLibrary();

} // namespace vantrel
