// gaugehost commands that read the bitmaps a module file carries.
#pragma once

// gaugehost resources MODULE: one JSON line per bitmap (id, size, bits per
// pixel, palette size), in ascending id.
int resourcesCommand(int argc, char **argv);

// gaugehost bitmap MODULE ID OUT.png: one bitmap as a palette PNG, its
// colours exactly as the module stores them.
int bitmapCommand(int argc, char **argv);

// gaugehost sheet MODULE OUT.png: all of a module's bitmaps on one labelled
// contact sheet; pure black, which the host does not draw, shows as the
// sheet's blue ground.
int sheetCommand(int argc, char **argv);
