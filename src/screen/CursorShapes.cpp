#include "screen/CursorShapes.h"

#include <array>
#include <utility>

namespace corvala {

namespace {

// Codes in the order of the host's cursor table: arrow, I-beam, wait, cross,
// up arrow, size NW-SE, size NE-SW, size W-E, size N-S, size all, no, hand,
// app starting, help.
constexpr std::pair<std::string_view, int> NameCodes[] = {
    {"left_ptr", 1}, {"default", 1}, {"arrow", 1}, {"top_left_arrow", 1}, {"right_ptr", 1},
    {"xterm", 2}, {"text", 2}, {"ibeam", 2}, {"vertical-text", 2},
    {"watch", 3}, {"wait", 3},
    {"crosshair", 4}, {"cross", 4}, {"tcross", 4}, {"cross_reverse", 4}, {"diamond_cross", 4},
    {"up_arrow", 5}, {"center_ptr", 5}, {"sb_up_arrow", 5},
    {"size_fdiag", 6}, {"nwse-resize", 6}, {"nw-resize", 6}, {"se-resize", 6}, {"top_left_corner", 6},
    {"bottom_right_corner", 6}, {"bd_double_arrow", 6},
    {"size_bdiag", 7}, {"nesw-resize", 7}, {"ne-resize", 7}, {"sw-resize", 7}, {"top_right_corner", 7},
    {"bottom_left_corner", 7}, {"fd_double_arrow", 7},
    {"size_hor", 8}, {"ew-resize", 8}, {"e-resize", 8}, {"w-resize", 8}, {"sb_h_double_arrow", 8},
    {"h_double_arrow", 8}, {"col-resize", 8}, {"left_side", 8}, {"right_side", 8}, {"split_h", 8},
    {"size_ver", 9}, {"ns-resize", 9}, {"n-resize", 9}, {"s-resize", 9}, {"sb_v_double_arrow", 9},
    {"v_double_arrow", 9}, {"row-resize", 9}, {"top_side", 9}, {"bottom_side", 9}, {"split_v", 9},
    {"size_all", 10}, {"fleur", 10}, {"move", 10}, {"all-scroll", 10},
    {"not-allowed", 11}, {"forbidden", 11}, {"crossed_circle", 11}, {"no-drop", 11}, {"circle", 11},
    {"dnd-no-drop", 11},
    {"hand2", 12}, {"hand1", 12}, {"hand", 12}, {"pointer", 12}, {"pointing_hand", 12},
    {"progress", 13}, {"half-busy", 13}, {"left_ptr_watch", 13},
    {"help", 14}, {"question_arrow", 14}, {"whats_this", 14}, {"left_ptr_help", 14},
};

constexpr std::array<Qt::CursorShape, CursorCodeCount + 1> CodeShapes = {
    Qt::ArrowCursor,         // 0 any other cursor
    Qt::ArrowCursor,         // 1 arrow
    Qt::IBeamCursor,         // 2
    Qt::WaitCursor,          // 3 hourglass
    Qt::CrossCursor,         // 4
    Qt::UpArrowCursor,       // 5
    Qt::SizeFDiagCursor,     // 6 NW-SE
    Qt::SizeBDiagCursor,     // 7 NE-SW
    Qt::SizeHorCursor,       // 8
    Qt::SizeVerCursor,       // 9
    Qt::SizeAllCursor,       // 10
    Qt::ForbiddenCursor,     // 11
    Qt::PointingHandCursor,  // 12
    Qt::BusyCursor,          // 13 app starting
    Qt::WhatsThisCursor,     // 14
};

}  // namespace

int CursorCodeForName(std::string_view name) {
    for (const auto& [known, code] : NameCodes)
        if (known == name) return code;
    return 0;
}

Qt::CursorShape CursorShapeForCode(int code) {
    if (code < 0 || code > CursorCodeCount) return Qt::ArrowCursor;
    return CodeShapes[static_cast<std::size_t>(code)];
}

std::optional<Qt::CursorShape> CursorShapeForMessage(const QString& message) {
    int code = 0;
    qsizetype i = 1;
    for (; i < message.size() && message[i] >= u'0' && message[i] <= u'9'; ++i) {
        code = code * 10 + (message[i].unicode() - u'0');
        if (code > CursorCodeCount) return std::nullopt;  // stops before any overflow
    }
    if (i == 1) return std::nullopt;
    return CursorShapeForCode(code);
}

std::optional<QString> CursorShapeMonitor::Tick(const Conditions& c, const std::optional<std::string>& cursorName) {
    if (c.eventsSuspended || c.masterMode || c.allowOnlyViewing || !c.anyPeer || !c.transferIdle) return std::nullopt;
    if (!cursorName) return std::nullopt;
    const QString message = QStringLiteral("C%1").arg(CursorCodeForName(*cursorName));
    if (message == LastCursorCode_) return std::nullopt;
    LastCursorCode_ = message;
    return message;
}

}  // namespace corvala
