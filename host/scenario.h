// Recording a stretch of a script's frames as an animation.
#pragma once

#include "render_commands.h"

#include <memory>

namespace host {

class ScriptRunner;

// Adds to a script runner:
//   record PATH [EVERY] [--half]    from the next frame on, keep every
//                                   EVERY-th frame (default 1) of the panel,
//                                   or of the current gauge without a panel,
//                                   as an animated GIF; --half at half size
//   stop                            finish the recording; prints
//                                   {"record":PATH,"frames":N,"seconds":S}
// Every frame the script runs (frame, wait, ramp, repeat) is recorded.
void registerScenarioCommands(ScriptRunner &script, std::shared_ptr<render::DrawingSession> drawing);

} // namespace host
