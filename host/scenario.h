// Scripted time: the commands that run the host frame by frame at a fixed
// rate, change variables over time, switch the panel lights, pick a gauge of
// the panel, and record a stretch of frames as an animation.
#pragma once

#include "render_commands.h"

#include <memory>

namespace host {

class ScriptRunner;

// Frames per second unless a script says otherwise.
constexpr double DefaultFrameRate = 18.0;

// Adds to a script runner:
//   rate FPS                        frames per second from here on (1 to 100)
//   wait SECONDS                    run frames for that long
//   ramp VAR FROM TO [VAR FROM TO ...] SECONDS
//                                   run frames for that long while each VAR
//                                   moves linearly from FROM to TO
//   lights on|off                   both panel light variables (0x0a, 0x16c)
//   select NAME [N]                 make the Nth (default first) gauge of that
//                                   name the current one
//   record PATH [EVERY] [--half]    from the next frame on, keep every
//                                   EVERY-th frame (default 1) of the panel,
//                                   or of the current gauge without a panel,
//                                   as an animated GIF; --half at half size
//   repeat N COMMAND [ARGUMENTS]    the command, then one frame, N times
//   stop                            finish the recording; prints
//                                   {"record":PATH,"frames":N,"seconds":S}
// `frame` counts as a frame of the recording too.
void registerScenarioCommands(ScriptRunner &script, std::shared_ptr<render::DrawingSession> drawing);

} // namespace host
