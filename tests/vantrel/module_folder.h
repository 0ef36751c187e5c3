// A fresh copy of vantrel.gau in a folder of its own, with the chosen
// GaugeSound beside it (or none). A copy is a module of its own to the
// loader, so every test starts from a module just loaded, and the folder
// decides what the module's bare-name lookup of "GaugeSound" finds.
#pragma once

#include <atomic>
#include <filesystem>
#include <random>
#include <string>

namespace vantrel_test {

enum class SoundLibrary {
    None,             // nothing to find
    Full,             // the stand-in, with TerminateSounds
    WithoutTerminate, // the stand-in built without TerminateSounds
};

class ModuleFolder {
public:
    explicit ModuleFolder(SoundLibrary library)
    {
        namespace fs = std::filesystem;
        static std::atomic<unsigned> counter{0};
        const unsigned salt = std::random_device{}();
        folder_ = fs::temp_directory_path() /
                  ("vantrel-test-" + std::to_string(salt) + "-" + std::to_string(counter++));
        fs::create_directories(folder_);
        const fs::path module = VANTREL_MODULE_FILE;
        modulePath_ = folder_ / module.filename();
        fs::copy_file(module, modulePath_);
        const char *source = library == SoundLibrary::Full               ? GAUGESOUND_FILE
                             : library == SoundLibrary::WithoutTerminate ? GAUGESOUND_NOTERMINATE_FILE
                                                                         : nullptr;
        if (source) {
            libraryPath_ = folder_ / fs::path(source).filename();
            fs::copy_file(source, libraryPath_);
        }
    }
    ~ModuleFolder()
    {
        // The loader keeps what it mapped; the files may go.
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    ModuleFolder(const ModuleFolder &) = delete;
    ModuleFolder &operator=(const ModuleFolder &) = delete;

    std::string modulePath() const { return modulePath_.string(); }
    // The sound library's file in the folder; empty for SoundLibrary::None.
    std::string libraryPath() const { return libraryPath_.string(); }

private:
    std::filesystem::path folder_;
    std::filesystem::path modulePath_;
    std::filesystem::path libraryPath_;
};

} // namespace vantrel_test
