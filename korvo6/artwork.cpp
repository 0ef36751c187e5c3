#include "picture.h"
namespace artwork {
ModuleArtwork korvo6Artwork() { return {"korvo6", {}, {}}; }
}
