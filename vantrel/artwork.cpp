#include "picture.h"
namespace artwork {
ModuleArtwork vantrelArtwork() { return {"vantrel", {}, {}}; }
}
