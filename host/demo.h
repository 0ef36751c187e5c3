// The demonstration: a short scripted flight over the bundled panel, written
// out as pictures, an animation and a page that shows them.
#pragma once

namespace host {

class ScriptRunner;

// Adds the commands beyond the host core's: panels and drawing, and time.
void registerPanelCommands(ScriptRunner &script);

// gaugehost demo [OUTDIR]: runs demo.gh (beside gaugehost, with the modules
// and the default panel) and writes its pictures and index.html to OUTDIR
// (default: demo-output in the working folder).
int demoCommand(int argc, char **argv);

} // namespace host
