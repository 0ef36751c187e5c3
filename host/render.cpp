#include "render.h"

#include "conversions.h"
#include "render_geometry.h"
#include "render_text.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace host::render {
namespace {

// A slider's or sprite's displacement in whole gauge pixels.
double displacement(double value, double scale)
{
    const double d = value * scale;
    if (!std::isfinite(d))
        return 0.0;
    return std::floor(std::clamp(d, -1e6, 1e6) + 0.5);
}

double shift(double value, double scale)
{
    const double d = value * scale;
    return std::isfinite(d) ? std::clamp(d, -1e6, 1e6) : 0.0;
}

double textureScale(float value)
{
    return std::isfinite(value) && value > 0.0f ? static_cast<double>(value) : 1.0;
}

// Whether an element's picture can change while it stays shown: a plain
// background never does.
bool fixedPicture(const ElementHeader &element)
{
    if (element.imageFlags & HiddenFlag)
        return true;
    if (element.kind == KindStaticImage)
        return true;
    if (element.kind == KindIcon) {
        const auto &icon = reinterpret_cast<const Icon &>(element);
        return !icon.callback && icon.source.id == 0;
    }
    return false;
}

const Bitmap *pictureOf(const BitmapSet &bitmaps, int32_t base, int64_t index)
{
    const int64_t id = static_cast<int64_t>(base) + index;
    if (id < INT32_MIN || id > INT32_MAX)
        return nullptr;
    return bitmaps.find(static_cast<int32_t>(id));
}

// Where each element's bitmap goes on the gauge, as the element's state says.
bool gaugeMapOf(const BitmapSet &bitmaps, const ElementState &state, DrawItem &item)
{
    const ElementHeader &e = *state.element;
    const double px = e.position.x;
    const double py = e.position.y;
    switch (e.kind) {
    case KindStaticImage:
        item.bitmap = bitmaps.find(e.resourceId);
        item.gaugeMap = Affine::translation(px, py);
        break;
    case KindIcon: {
        const auto &icon = reinterpret_cast<const Icon &>(e);
        const int32_t index = gauge::truncateToInt32(state.value);
        if (index < 0 || index >= icon.iconCount)
            return false;
        item.bitmap = pictureOf(bitmaps, e.resourceId, index);
        item.gaugeMap = Affine::translation(px, py);
        break;
    }
    case KindNeedle: {
        const auto &needle = reinterpret_cast<const Needle &>(e);
        item.bitmap = bitmaps.find(e.resourceId);
        // The offset pixel's centre on the position pixel's centre.
        item.gaugeMap = Affine::translation(px + 0.5, py + 0.5) *
                        Affine::rotation(bitmapTurn(needle, state.angle)) *
                        Affine::translation(-e.offset.x - 0.5, -e.offset.y - 0.5);
        break;
    }
    case KindSlider: {
        const auto &slider = reinterpret_cast<const Slider &>(e);
        item.bitmap = bitmaps.find(e.resourceId);
        item.gaugeMap = Affine::translation(px + displacement(state.x, slider.scaleX),
                                            py + displacement(state.y, slider.scaleY));
        break;
    }
    case KindSprite: {
        const auto &sprite = reinterpret_cast<const Sprite &>(e);
        item.bitmap = bitmaps.find(e.resourceId);
        if (!item.bitmap)
            return false;
        const double turn = shift(state.rotation, sprite.scaleRotation);
        const double cx = px + e.offset.x + 0.5;
        const double cy = py + e.offset.y + 0.5;
        const double centreX = item.bitmap->width() / 2 + 0.5;
        const double centreY = item.bitmap->height() / 2 + 0.5;
        // Counterclockwise by turn: clockwise by -turn.
        item.gaugeMap = Affine::translation(cx, cy) * Affine::rotation(-turn) *
                        Affine::translation(-shift(state.x, sprite.scaleX), -shift(state.y, sprite.scaleY)) *
                        Affine::scaling(textureScale(sprite.textureScaleX), textureScale(sprite.textureScaleY)) *
                        Affine::translation(-centreX, -centreY);
        break;
    }
    default:
        return false;
    }
    return item.bitmap != nullptr;
}

} // namespace

void BitmapSet::add(Bitmap bitmap)
{
    const int32_t id = bitmap.id();
    bitmaps_.insert_or_assign(id, std::move(bitmap));
}

const Bitmap *BitmapSet::find(int32_t id) const
{
    const auto found = bitmaps_.find(id);
    return found == bitmaps_.end() ? nullptr : &found->second;
}

GaugeRenderer::GaugeRenderer(const GaugeInstance &gauge, const BitmapSet &bitmaps) : gauge_(&gauge), bitmaps_(&bitmaps)
{
    const auto &elements = gauge.elements();
    if (!elements.empty())
        if (const Bitmap *root = bitmaps.find(elements[0].element->resourceId)) {
            width_ = root->width();
            height_ = root->height();
        }
    place({0, 0, width_, height_});
}

void GaugeRenderer::place(const IRect &rect)
{
    rect_ = rect;
    const double sx = width_ > 0 ? static_cast<double>(rect.width) / width_ : 1.0;
    const double sy = height_ > 0 ? static_cast<double>(rect.height) / height_ : 1.0;
    placement_ = Affine::translation(rect.x, rect.y) * Affine::scaling(sx, sy);
    fixedValid_ = false;
    updatedOnce_ = false;
    for (TextBox &text : texts_)
        text.box = {};
}

const std::vector<DrawItem> &GaugeRenderer::prepare()
{
    const auto &elements = gauge_->elements();
    items_.resize(elements.size());
    texts_.resize(elements.size());
    fixedCount_ = 0;
    bool fixedRun = true;
    for (size_t i = 0; i < elements.size(); ++i) {
        const ElementState &state = elements[i];
        const ElementHeader &e = *state.element;
        fixedRun = fixedRun && fixedPicture(e);
        if (fixedRun)
            fixedCount_ = i + 1;
        DrawItem &item = items_[i];
        item = {};
        if (e.imageFlags & HiddenFlag)
            continue;
        if (e.kind == KindString) {
            const auto &string = reinterpret_cast<const StringElement &>(e);
            double x0, y0, x1, y1;
            placement_.apply(e.position.x, e.position.y, x0, y0);
            placement_.apply(static_cast<double>(e.position.x) + string.boxSize.width,
                             static_cast<double>(e.position.y) + string.boxSize.height, x1, y1);
            const auto whole = [](double v) { return static_cast<int>(std::lround(std::clamp(v, -1e6, 1e6))); };
            const IRect box{whole(x0), whole(y0), whole(x1) - whole(x0), whole(y1) - whole(y0)};
            TextBox &text = texts_[i];
            if (text.version == 0 || text.text != state.text || text.box != box) {
                text.text = state.text;
                text.box = box;
                text.version = ++textVersions_;
                text.image = drawTextBox(TextStyle::of(string), text.text, std::max(box.width, 0),
                                         std::max(box.height, 0));
            }
            item.kind = DrawItem::Kind::Text;
            item.textVersion = text.version;
            item.bounds = intersect(box, rect_);
            continue;
        }
        if (!gaugeMapOf(*bitmaps_, state, item)) {
            item = {};
            continue;
        }
        item.kind = DrawItem::Kind::Picture;
        item.bounds = drawBounds(rect_, item.bitmap->width(), item.bitmap->height(), placement_ * item.gaugeMap);
    }
    return items_;
}

void GaugeRenderer::rebuildFixedLayer()
{
    // The fixed run at the gauge's own size first, then scaled as a whole, so
    // that a face shrunk onto a panel is filtered once and evenly.
    Image native(width_, height_);
    for (size_t i = 0; i < fixedCount_; ++i)
        if (items_[i].kind == DrawItem::Kind::Picture)
            drawBitmap(native, native.bounds(), *items_[i].bitmap, items_[i].gaugeMap);
    fixedLayer_ = resample(native, rect_.width, rect_.height);
    fixedKey_.assign(items_.begin(), items_.begin() + static_cast<long>(fixedCount_));
    fixedValid_ = true;
}

bool GaugeRenderer::fixedChanged() const
{
    return !fixedValid_ || fixedKey_.size() != fixedCount_ ||
           !std::equal(fixedKey_.begin(), fixedKey_.end(), items_.begin());
}

void GaugeRenderer::drawItem(Image &target, const IRect &clip, size_t index)
{
    const DrawItem &item = items_[index];
    if (item.kind == DrawItem::Kind::Picture)
        drawBitmap(target, clip, *item.bitmap, placement_ * item.gaugeMap);
    else if (item.kind == DrawItem::Kind::Text)
        compositeOver(target, intersect(clip, rect_), texts_[index].image, texts_[index].box.x,
                      texts_[index].box.y);
}

void GaugeRenderer::draw(Image &target)
{
    prepare();
    if (fixedChanged())
        rebuildFixedLayer();
    compositeOver(target, rect_, fixedLayer_, rect_.x, rect_.y);
    for (size_t i = fixedCount_; i < items_.size(); ++i)
        drawItem(target, rect_, i);
    // What update() would take as the last state is unknown after this.
    updatedOnce_ = false;
}

IRect GaugeRenderer::update(Image &target, uint32_t background)
{
    prepare();
    const bool rebuilt = fixedChanged();
    if (rebuilt)
        rebuildFixedLayer();
    IRect dirty;
    if (rebuilt || !updatedOnce_ || background != background_) {
        fixedOnBackground_ = Image(rect_.width, rect_.height, background);
        compositeOver(fixedOnBackground_, fixedOnBackground_.bounds(), fixedLayer_, 0, 0);
        background_ = background;
        dirty = rect_;
    } else {
        // Whatever moved: where it was and where it is now.
        const size_t count = std::max(items_.size(), previous_.size());
        for (size_t i = fixedCount_; i < count; ++i) {
            const DrawItem none;
            const DrawItem &now = i < items_.size() ? items_[i] : none;
            const DrawItem &before = i < previous_.size() ? previous_[i] : none;
            if (!(now == before))
                dirty = unite(dirty, unite(now.bounds, before.bounds));
        }
    }
    dirty = intersect(dirty, rect_);
    if (!dirty.empty()) {
        copyInto(target, dirty, fixedOnBackground_, rect_.x, rect_.y);
        // Everything that reaches into the restored area is drawn again there.
        for (size_t i = fixedCount_; i < items_.size(); ++i)
            if (!intersect(items_[i].bounds, dirty).empty())
                drawItem(target, dirty, i);
    }
    previous_ = items_;
    updatedOnce_ = true;
    return dirty;
}

Image renderGauge(const GaugeInstance &gauge, const BitmapSet &bitmaps)
{
    GaugeRenderer renderer(gauge, bitmaps);
    Image image(renderer.width(), renderer.height());
    renderer.draw(image);
    return image;
}

// ---------------------------------------------------------------- mouse areas

namespace {

struct AreaMark {
    enum class Kind { Parent, Click, Tooltip } kind;
    const MouseRect *rect;
    double x, y, width, height; // gauge pixels
    int32_t helpId;             // of the area or its innermost parent
};

// The mouse list resolved to gauge pixels, parents included.
std::vector<AreaMark> areaMarks(const MouseRect *rects, int width, int height)
{
    struct Parent {
        double x, y;
        int32_t helpId;
    };
    std::vector<AreaMark> marks;
    std::vector<Parent> parents;
    for (size_t i = 0; rects && i < 4096 && rects[i].kind != MouseEnd; ++i) {
        const MouseRect &r = rects[i];
        const Parent outer = parents.empty() ? Parent{0, 0, 0} : parents.back();
        const bool whole = r.box.x == 0 && r.box.y == 0 && r.box.width == 0 && r.box.height == 0;
        switch (r.kind) {
        case MouseParent: {
            const double x = whole ? outer.x : outer.x + r.box.x;
            const double y = whole ? outer.y : outer.y + r.box.y;
            marks.push_back({AreaMark::Kind::Parent, &r, x, y, whole ? double(width) : r.box.width,
                             whole ? double(height) : r.box.height, r.helpId});
            parents.push_back({x, y, r.helpId ? r.helpId : outer.helpId});
            break;
        }
        case MouseParentEnd:
            if (!parents.empty())
                parents.pop_back();
            break;
        case MouseClickArea:
            marks.push_back({AreaMark::Kind::Click, &r, outer.x + r.box.x, outer.y + r.box.y,
                             double(r.box.width), double(r.box.height), outer.helpId});
            break;
        case MouseTooltipText:
            marks.push_back({AreaMark::Kind::Tooltip, &r, outer.x, outer.y, 0, 0, outer.helpId});
            break;
        default:
            break;
        }
    }
    return marks;
}

// Tints by cursor, so the two halves of a knob tell apart at a glance.
void cursorColour(int32_t cursor, double &r, double &g, double &b)
{
    switch (cursor) {
    case 1: r = 0.15, g = 0.85, b = 0.25; break;
    case 2: r = 0.95, g = 0.25, b = 0.2; break;
    case 5: r = 0.25, g = 0.55, b = 1.0; break;
    default: r = 0.9, g = 0.2, b = 0.9; break;
    }
}

std::string hex(uint32_t v)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%x", v);
    return buffer;
}

std::string describe(const AreaMark &mark, int number)
{
    const MouseRect &r = *mark.rect;
    char where[64];
    std::snprintf(where, sizeof where, "(%g,%g %gx%g)", mark.x, mark.y, mark.width, mark.height);
    std::string line = "#" + std::to_string(number) + " " + where;
    if (mark.kind == AreaMark::Kind::Parent) {
        line = "parent " + std::string(where);
        line += r.helpId ? " tooltip " + hex(static_cast<uint32_t>(r.helpId)) + " (" + std::to_string(r.helpId) + ")"
                         : " no tooltip";
        return line;
    }
    if (mark.kind == AreaMark::Kind::Tooltip)
        return std::string("tooltip text \"") + (r.tooltipText ? r.tooltipText : "") + "\"";
    line += " cursor " + std::to_string(r.cursor);
    if (r.eventId)
        line += " event " + hex(r.eventId) + " (" + std::to_string(r.eventId) + ")";
    else if (r.function)
        line += " mouse function";
    else
        line += " nothing";
    line += " flags " + hex(r.mouseFlags);
    if (mark.helpId)
        line += " tooltip " + hex(static_cast<uint32_t>(mark.helpId));
    return line;
}

} // namespace

int mouseAreasScale(int width, int height)
{
    const int side = std::max({width, height, 1});
    return std::clamp((480 + side - 1) / side, 1, 8);
}

Image renderMouseAreas(const GaugeInstance &gauge, const BitmapSet &bitmaps, int scale)
{
    scale = std::clamp(scale, 1, 16);
    GaugeRenderer renderer(gauge, bitmaps);
    const int gw = renderer.width() * scale;
    const int gh = renderer.height() * scale;
    const std::vector<AreaMark> marks = areaMarks(gauge.header().mouseRects, renderer.width(), renderer.height());

    constexpr int Margin = 12;
    constexpr double LineHeight = 17;
    constexpr int KeyWidth = 600;
    const int keyHeight = static_cast<int>(Margin * 2 + LineHeight * (marks.size() + 1));
    Image image(gw + KeyWidth + 3 * Margin, std::max(gh, keyHeight) + 2 * Margin, opaque(0x30343a));
    renderer.place({Margin, Margin, gw, gh});
    renderer.draw(image);

    releaseFontsAtExit();
    cairo_surface_t *surface =
        cairo_image_surface_create_for_data(reinterpret_cast<unsigned char *>(image.pixels.data()),
                                            CAIRO_FORMAT_ARGB32, image.width, image.height, image.width * 4);
    cairo_t *cr = cairo_create(surface);
    cairo_select_font_face(cr, "DejaVu Sans Mono", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
    cairo_set_font_size(cr, 12);

    auto box = [&](const AreaMark &m) {
        cairo_rectangle(cr, Margin + m.x * scale + 0.5, Margin + m.y * scale + 0.5, std::max(m.width * scale - 1, 1.0),
                        std::max(m.height * scale - 1, 1.0));
    };
    auto label = [&](const std::string &text, double x, double y, double r, double g, double b) {
        cairo_text_extents_t ext;
        cairo_text_extents(cr, text.c_str(), &ext);
        cairo_set_source_rgba(cr, 0, 0, 0, 0.7);
        cairo_rectangle(cr, x - 2, y - ext.height - 3, ext.x_advance + 4, ext.height + 6);
        cairo_fill(cr);
        cairo_set_source_rgb(cr, r, g, b);
        cairo_move_to(cr, x, y);
        cairo_show_text(cr, text.c_str());
    };

    int number = 0;
    std::vector<std::string> lines;
    for (const AreaMark &m : marks) {
        if (m.kind == AreaMark::Kind::Parent) {
            const double dash = 4;
            cairo_set_dash(cr, &dash, 1, 0);
            cairo_set_line_width(cr, 1);
            cairo_set_source_rgb(cr, 1, 0.85, 0.2);
            box(m);
            cairo_stroke(cr);
            cairo_set_dash(cr, nullptr, 0, 0);
            // Inside the whole gauge's area; above any other, clear of the
            // click areas it holds.
            const bool inside = m.y * scale < 20 || (m.width >= renderer.width() && m.height >= renderer.height());
            if (m.rect->helpId)
                label("tooltip " + hex(static_cast<uint32_t>(m.rect->helpId)), Margin + m.x * scale + 3,
                      Margin + m.y * scale + (inside ? 14 : -5), 1, 0.85, 0.2);
            lines.push_back(describe(m, 0));
        } else if (m.kind == AreaMark::Kind::Click) {
            ++number;
            double r, g, b;
            cursorColour(m.rect->cursor, r, g, b);
            cairo_set_source_rgba(cr, r, g, b, 0.3);
            box(m);
            cairo_fill_preserve(cr);
            cairo_set_source_rgb(cr, r, g, b);
            cairo_set_line_width(cr, 1.5);
            cairo_stroke(cr);
            const std::string tag = "#" + std::to_string(number);
            cairo_text_extents_t ext;
            cairo_text_extents(cr, tag.c_str(), &ext);
            label(tag, Margin + (m.x + m.width / 2) * scale - ext.x_advance / 2,
                  Margin + (m.y + m.height / 2) * scale + ext.height / 2, 1, 1, 1);
            lines.push_back(describe(m, number));
        } else {
            lines.push_back(describe(m, 0));
        }
    }
    // The key.
    const double keyX = gw + 2 * Margin;
    cairo_set_font_size(cr, 11.5);
    double y = Margin + LineHeight;
    cairo_set_source_rgb(cr, 0.95, 0.95, 0.95);
    cairo_move_to(cr, keyX, y);
    cairo_show_text(cr, (gauge.name() + ": mouse areas (gauge pixels)").c_str());
    number = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        y += LineHeight;
        double r = 0.95, g = 0.95, b = 0.95;
        if (marks[i].kind == AreaMark::Kind::Click)
            cursorColour(marks[i].rect->cursor, r, g, b);
        else if (marks[i].kind == AreaMark::Kind::Parent)
            r = 1, g = 0.85, b = 0.2;
        cairo_set_source_rgb(cr, r, g, b);
        cairo_move_to(cr, keyX, y);
        cairo_show_text(cr, lines[i].c_str());
    }
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    cairo_surface_destroy(surface);
    return image;
}

} // namespace host::render
