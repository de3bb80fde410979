#pragma once
// What the status display paints on: filled rectangles, lines and texts in plain colours. The
// painting code draws into this interface only, so the real window (FLTK) and the tests (a
// recording canvas whose display list they inspect) see exactly the same drawing.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vald {

// A colour in the Windows COLORREF layout 0x00BBGGRR, so that the colour constants read as the
// program has always written them (red is 0x0000FF).
using Colour = std::uint32_t;

constexpr std::uint8_t gf_redOf(Colour colour) { return static_cast<std::uint8_t>(colour & 0xFF); }
constexpr std::uint8_t gf_greenOf(Colour colour) { return static_cast<std::uint8_t>((colour >> 8) & 0xFF); }
constexpr std::uint8_t gf_blueOf(Colour colour) { return static_cast<std::uint8_t>((colour >> 16) & 0xFF); }

// A rectangle of the client area: left and top inside, right and bottom outside.
struct PixelRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    bool operator==(const PixelRect&) const = default;
};

class Canvas {
public:
    virtual ~Canvas() = default;
    virtual void fillRect(const PixelRect& rect, Colour colour) = 0;
    // From (x1, y1) to (x2, y2), one pixel wide.
    virtual void line(int x1, int y1, int x2, int y2, Colour colour) = 0;
    // A UTF-8 text whose cell's top left corner is (x, y), on a transparent background.
    virtual void text(int x, int y, std::string_view utf8, Colour colour) = 0;
};

// One drawing operation as recorded; for a line, rect holds (x1, y1) and (x2, y2).
struct DrawOp {
    enum class Kind { Fill, Line, Text };
    Kind kind = Kind::Fill;
    PixelRect rect;
    Colour colour = 0;
    std::string text;
    bool operator==(const DrawOp&) const = default;
};

// Keeps every operation in order: the display list.
class RecordingCanvas : public Canvas {
public:
    void fillRect(const PixelRect& rect, Colour colour) override;
    void line(int x1, int y1, int x2, int y2, Colour colour) override;
    void text(int x, int y, std::string_view utf8, Colour colour) override;

    const std::vector<DrawOp>& ops() const { return ops_; }
    // The texts drawn at (x, y), in drawing order.
    std::vector<DrawOp> textsAt(int x, int y) const;
    // The first text operation whose text equals text; nullptr when there is none.
    const DrawOp* findText(std::string_view text) const;
    // The colour the fills leave at (x, y): that of the last fill covering it; -1 when no fill
    // covers the point.
    std::int64_t fillColourAt(int x, int y) const;
    void clear() { ops_.clear(); }

private:
    std::vector<DrawOp> ops_;
};

}  // namespace vald
