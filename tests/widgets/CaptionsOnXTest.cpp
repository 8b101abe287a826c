// Captions as the X server holds them, which is what a window manager shows.

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <QGuiApplication>
#include <cstdlib>

#include "GatewayFixture.h"
#include "ui/widgets/SMS_Main.h"
#include "ui/widgets/TAboutBox.h"
#include "ui/widgets/TCommunication_Settings.h"
#include "ui/widgets/TMessage_Settings.h"

namespace kavonet::testing {
namespace {

std::string XTitle(QWidget& window) {
  xcb_connection_t* x = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
  xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(x, xcb_intern_atom(x, 1, 12, "_NET_WM_NAME"), nullptr);
  xcb_get_property_reply_t* property = xcb_get_property_reply(
      x, xcb_get_property(x, 0, static_cast<xcb_window_t>(window.winId()), atom->atom, XCB_ATOM_ANY, 0, 256), nullptr);
  const std::string title(static_cast<const char*>(xcb_get_property_value(property)),
                          static_cast<std::size_t>(xcb_get_property_value_length(property)));
  std::free(atom);
  std::free(property);
  return title;
}

TEST(CaptionsOnX, EachWindowHasItsOwnCaptionAlone) {
  Gateway gateway(PduIni(), Gateway::Front::Gui);
  ui::SMS_Main window(*gateway.main, gateway.gui);
  const std::pair<QWidget*, const char*> windows[] = {{&window, "Kavonet"},
                                                      {&window.CommunicationSettings(), "Communication Settings"},
                                                      {&window.MessageSettings(), "Message Settings"},
                                                      {&window.AboutBox(), "About"}};
  for (const auto& [shown, caption] : windows) {
    shown->show();
    QCoreApplication::processEvents();
    EXPECT_EQ(XTitle(*shown), caption);
    shown->hide();
  }
}

}  // namespace
}  // namespace kavonet::testing
