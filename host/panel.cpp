#include "panel.h"

#include "resources.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <sstream>

namespace host::render {
namespace {

constexpr int MaxPanelSide = 16384;

int parseCoordinate(const std::string &word, const std::string &where, const char *what, int least)
{
    int value = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (error != std::errc() || end != word.data() + word.size())
        throw HostError(where + ": " + what + " \"" + word + "\" is not a whole number");
    if (value < least || value > MaxPanelSide)
        throw HostError(where + ": " + what + " " + word + " is out of range (" + std::to_string(least) + " to " +
                        std::to_string(MaxPanelSide) + ")");
    return value;
}

} // namespace

std::vector<PanelEntry> parsePanel(std::istream &in, const std::string &name)
{
    std::vector<PanelEntry> entries;
    std::string text;
    for (int line = 1; std::getline(in, text); ++line) {
        if (const auto hash = text.find('#'); hash != std::string::npos)
            text.erase(hash);
        std::istringstream words(text);
        std::vector<std::string> fields;
        for (std::string word; words >> word;)
            fields.push_back(word);
        if (fields.empty())
            continue;
        const std::string where = name + ":" + std::to_string(line);
        if (fields.size() != 6)
            throw HostError(where + ": expected MODULE GAUGE X Y WIDTH HEIGHT");
        PanelEntry entry;
        entry.module = fields[0];
        entry.gauge = fields[1];
        entry.rect = {parseCoordinate(fields[2], where, "x", 0), parseCoordinate(fields[3], where, "y", 0),
                      parseCoordinate(fields[4], where, "width", 1), parseCoordinate(fields[5], where, "height", 1)};
        entry.line = line;
        if (entry.rect.right() > MaxPanelSide || entry.rect.bottom() > MaxPanelSide)
            throw HostError(where + ": the gauge reaches beyond " + std::to_string(MaxPanelSide) + " pixels");
        for (const PanelEntry &other : entries)
            if (!intersect(other.rect, entry.rect).empty())
                throw HostError(where + ": " + entry.gauge + " overlaps " + other.gauge + " of line " +
                                std::to_string(other.line));
        entries.push_back(std::move(entry));
    }
    if (entries.empty())
        throw HostError(name + ": the panel places no gauge");
    return entries;
}

std::vector<PanelEntry> readPanelFile(const std::string &path)
{
    std::ifstream file(path);
    if (!file)
        throw HostError("cannot open the panel " + path);
    return parsePanel(file, path);
}

BitmapSet loadModuleBitmaps(const std::string &path)
{
    BitmapSet set;
    try {
        for (const BitmapResource &resource : readModuleBitmaps(path)) {
            std::vector<uint32_t> palette;
            palette.reserve(resource.palette.size());
            for (const PaletteColour &c : resource.palette)
                palette.push_back((uint32_t(c.r) << 16) | (uint32_t(c.g) << 8) | c.b);
            set.add(Bitmap::fromIndexed(resource.id, resource.width, resource.height, resource.pixels.data(),
                                        palette.data(), static_cast<int>(palette.size())));
        }
    } catch (const ResourceError &error) {
        throw HostError("cannot read the bitmaps of " + path + ": " + error.what());
    }
    return set;
}

const BitmapSet &BitmapLibrary::of(const Module &module)
{
    auto found = sets_.find(&module);
    if (found == sets_.end())
        found = sets_.emplace(&module, loadModuleBitmaps(module.path())).first;
    return found->second;
}

void BitmapLibrary::set(const Module &module, BitmapSet bitmaps)
{
    sets_.insert_or_assign(&module, std::move(bitmaps));
}

Panel::Panel(Host &host, const std::vector<PanelEntry> &entries, BitmapLibrary &bitmaps)
{
    std::map<std::string, Module *> modules;
    int left = MaxPanelSide, top = MaxPanelSide;
    for (const PanelEntry &entry : entries) {
        Module *&module = modules[entry.module];
        if (!module)
            module = &host.loadModule(entry.module);
        GaugeInstance &gauge = host.createGauge(*module, entry.gauge);
        auto renderer = std::make_unique<GaugeRenderer>(gauge, bitmaps.of(*module));
        renderer->place(entry.rect);
        slots_.push_back({entry, &gauge, std::move(renderer)});
        width_ = std::max(width_, entry.rect.right());
        height_ = std::max(height_, entry.rect.bottom());
        left = std::min(left, entry.rect.x);
        top = std::min(top, entry.rect.y);
    }
    const int margin = std::min(left, top);
    width_ += margin;
    height_ += margin;
    image_ = Image(width_, height_, Background);
}

const Image &Panel::render()
{
    for (Slot &slot : slots_)
        slot.renderer->update(image_, Background);
    return image_;
}

const Image &Panel::renderAll()
{
    fillRect(image_, image_.bounds(), Background);
    for (Slot &slot : slots_)
        slot.renderer->draw(image_);
    return image_;
}

} // namespace host::render
