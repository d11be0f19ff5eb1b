#include "arrowcursor.h"

#include <array>
#include <string_view>

namespace zelq {

namespace {

// The arrow, row by row: 'X' outline (black), '.' body (white), ' ' no pixel. The tip is the top-left
// pixel, which is where the pointer's position is.
constexpr std::array<std::string_view, 20> kArrowRows = {
    "X",             //
    "XX",            //
    "X.X",           //
    "X..X",          //
    "X...X",         //
    "X....X",        //
    "X.....X",       //
    "X......X",      //
    "X.......X",     //
    "X........X",    //
    "X.........X",   //
    "X..........X",  //
    "X......XXXXX",  //
    "X...X..X",      //
    "X..XX..X",      //
    "X.X  X..X",     //
    "XX   X..X",     //
    "X     X..X",    //
    "      X..X",    //
    "       XX",     //
};
constexpr int kArrowWidth = 12;

CursorImage buildArrow() {
    QImage image(kArrowWidth, static_cast<int>(kArrowRows.size()), QImage::Format_ARGB32);
    image.fill(0u);
    for (int y = 0; y < image.height(); ++y) {
        const std::string_view row = kArrowRows[static_cast<std::size_t>(y)];
        for (int x = 0; x < static_cast<int>(row.size()); ++x) {
            const char c = row[static_cast<std::size_t>(x)];
            if (c == 'X')
                image.setPixel(x, y, 0xff000000u);
            if (c == '.')
                image.setPixel(x, y, 0xffffffffu);
        }
    }
    return CursorImage{image, QPoint(0, 0)};
}

}  // namespace

const CursorImage& standardArrowCursor() {
    static const CursorImage arrow = buildArrow();
    return arrow;
}

}  // namespace zelq
