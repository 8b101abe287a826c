#pragma once
// The window's own pictures, drawn rather than shipped: button glyphs, the send stage
// icons, the program icon and the tray icons.

#include <QIcon>
#include <QPixmap>

namespace kavonet::ui::glyphs {

// A plug: apart in the Off state, joined in the On state (the button held down).
QIcon ConnectGlyph();
// The three transfer modes: a terminal with a bar across, with "TE" beside an arrow,
// with an arrow alone.
QIcon NoTransferGlyph();
QIcon TransferTEGlyph();
QIcon TransferAllGlyph();

inline constexpr int kStageIconSize = 33;
// Stage 1 idle (an empty tray), 2 queued (a letter waiting), 3 sending (a letter with
// radio waves). Any other stage gives stage 1.
QPixmap SendStageIcon(int stage);

QIcon ProgramIcon();
// The program icon in colour while connected, greyed out while not.
QIcon TrayIcon(bool connected);

}  // namespace kavonet::ui::glyphs
