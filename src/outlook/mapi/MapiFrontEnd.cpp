#include "outlook/mapi/MapiFrontEnd.h"

#include <atomic>

namespace qb::mapi {
namespace {

std::atomic<MapiFrontEnd*>& Registered() {
    static std::atomic<MapiFrontEnd*> frontEnd{nullptr};
    return frontEnd;
}

}  // namespace

void SetMapiFrontEnd(MapiFrontEnd* frontEnd) { Registered().store(frontEnd); }

MapiFrontEnd* GetMapiFrontEnd() { return Registered().load(); }

}  // namespace qb::mapi
