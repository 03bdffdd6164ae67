#include "platform/flash/FlashModule.h"

#include <cstring>
#include <mutex>

#include "platform/flash/MovieModule.h"
#include "platform/flash/MovieHost.h"

namespace flash {

namespace {

std::mutex factoryLock;
ModuleFactory& Factory() {
    static ModuleFactory factory;
    return factory;
}

}  // namespace

FlashModule* CreateFlashModule(const char* interfaceId) {
    if (interfaceId == nullptr || std::strcmp(interfaceId, InterfaceId) != 0) return nullptr;
    ModuleFactory factory;
    {
        std::lock_guard<std::mutex> lock(factoryLock);
        factory = Factory();
    }
    if (factory) return factory().release();
    return new MovieModule(MovieHost::Default());
}

void DeleteFlashModule(FlashModule* module) { delete module; }

void SetModuleFactory(ModuleFactory factory) {
    std::lock_guard<std::mutex> lock(factoryLock);
    Factory() = std::move(factory);
}

}  // namespace flash
