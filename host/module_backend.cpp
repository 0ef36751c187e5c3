#include "module_backend.h"

#include "host.h"
#include "platform.h"

namespace host {
namespace {

class NativeBackend : public ModuleBackend {
public:
    std::string name() const override { return "native"; }
    std::unique_ptr<Module> loadModule(const std::string &path, PanelServices *services) override
    {
        return std::make_unique<Module>(path, services);
    }
    bool libraryLoaded(const std::string &name) override { return platform::loadedLibrary(name.c_str()) != nullptr; }
};

BackendFactory defaultFactory = nullptr;

} // namespace

std::unique_ptr<ModuleBackend> makeNativeBackend()
{
    return std::make_unique<NativeBackend>();
}

void setDefaultBackend(BackendFactory factory)
{
    defaultFactory = factory;
}

std::unique_ptr<ModuleBackend> makeDefaultBackend()
{
    return defaultFactory ? defaultFactory() : makeNativeBackend();
}

} // namespace host
