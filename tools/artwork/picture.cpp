#include "picture.h"
#include "raster.h"

namespace artwork {

Picture dayPicture(int32_t id, int width, int height, std::string title,
                   std::function<void(cairo_t *)> draw, std::vector<Rgb> keyColours)
{
    Picture picture;
    picture.id = id;
    picture.width = width;
    picture.height = height;
    picture.title = std::move(title);
    picture.draw = std::move(draw);
    picture.keyColours = std::move(keyColours);
    return picture;
}

Picture litTwin(const Picture &day, int32_t id, const LitTone &tone)
{
    Picture picture;
    picture.id = id;
    picture.width = day.width;
    picture.height = day.height;
    picture.title = day.title + " (lit)";
    picture.litOf = day.id;
    picture.tone = &tone;
    for (const Rgb &key : day.keyColours)
        picture.keyColours.push_back(litColour(key, tone));
    return picture;
}

} // namespace artwork
