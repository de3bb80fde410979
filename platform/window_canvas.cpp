#include "platform/window_canvas.hpp"

namespace vald {

void RecordingCanvas::fillRect(const PixelRect& rect, Colour colour)
{
    ops_.push_back(DrawOp{DrawOp::Kind::Fill, rect, colour, {}});
}

void RecordingCanvas::line(int x1, int y1, int x2, int y2, Colour colour)
{
    ops_.push_back(DrawOp{DrawOp::Kind::Line, PixelRect{x1, y1, x2, y2}, colour, {}});
}

void RecordingCanvas::text(int x, int y, std::string_view utf8, Colour colour)
{
    ops_.push_back(DrawOp{DrawOp::Kind::Text, PixelRect{x, y, x, y}, colour, std::string(utf8)});
}

std::vector<DrawOp> RecordingCanvas::textsAt(int x, int y) const
{
    std::vector<DrawOp> found;
    for (const DrawOp& op : ops_)
        if (op.kind == DrawOp::Kind::Text && op.rect.left == x && op.rect.top == y)
            found.push_back(op);
    return found;
}

const DrawOp* RecordingCanvas::findText(std::string_view text) const
{
    for (const DrawOp& op : ops_)
        if (op.kind == DrawOp::Kind::Text && op.text == text)
            return &op;
    return nullptr;
}

std::int64_t RecordingCanvas::fillColourAt(int x, int y) const
{
    std::int64_t colour = -1;
    for (const DrawOp& op : ops_)
        if (op.kind == DrawOp::Kind::Fill && x >= op.rect.left && x < op.rect.right && y >= op.rect.top &&
            y < op.rect.bottom)
            colour = op.colour;
    return colour;
}

}  // namespace vald
