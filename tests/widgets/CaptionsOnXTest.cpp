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
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  xcb_connection_t* connection = x11->connection();
  const char name[] = "_NET_WM_NAME";
  xcb_intern_atom_reply_t* atom =
      xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 1, sizeof name - 1, name), nullptr);
  if (atom == nullptr) return {};
  xcb_get_property_reply_t* property = xcb_get_property_reply(
      connection,
      xcb_get_property(connection, 0, static_cast<xcb_window_t>(window.winId()), atom->atom, XCB_ATOM_ANY, 0, 256),
      nullptr);
  std::free(atom);
  if (property == nullptr) return {};
  std::string title(static_cast<const char*>(xcb_get_property_value(property)),
                    static_cast<std::size_t>(xcb_get_property_value_length(property)));
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
