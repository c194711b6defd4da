// Built instead of mesa_scene.cpp when pkg-config finds no osmesa: opening fails with
// the reason, so BM_Mesa skips itself and the rest of the suite still builds and runs.
#include "bench/mesa_scene.h"

namespace bench {

struct MesaScene {};

MesaScene* openMesaScene(int, int, std::string* why) {
    *why = "built without OSMesa (install libosmesa6-dev and re-run cmake)";
    return nullptr;
}
void closeMesaScene(MesaScene*) {}
const char* mesaRenderer(const MesaScene*) {
    return "";
}
unsigned drawMesaFrame(MesaScene*, const MesaFrame&) {
    return 0;
}
const std::uint8_t* mesaPixels(const MesaScene*) {
    return nullptr;
}

}  // namespace bench
