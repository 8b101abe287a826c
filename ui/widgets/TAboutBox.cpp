#include "ui/widgets/TAboutBox.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/widgets/Glyphs.h"

namespace kavonet::ui {

namespace {
QLabel* NamedLabel(const QString& text, const char* name, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromLatin1(name));
  return label;
}
}  // namespace

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("AboutBox"));
  setWindowTitle(QStringLiteral("About"));
  setModal(true);

  QLabel* icon = NamedLabel(QString(), "ProgramIcon", this);
  icon->setPixmap(glyphs::ProgramIcon().pixmap(48, 48));

  auto* facts = new QGridLayout;
  facts->addWidget(NamedLabel(QStringLiteral("Product Name:"), "ProductNameLabel", this), 0, 0);
  facts->addWidget(NamedLabel(QStringLiteral("Kavonet"), "ProductName", this), 0, 1);
  facts->addWidget(NamedLabel(QStringLiteral("Version:"), "VersionLabel", this), 1, 0);
  facts->addWidget(NamedLabel(QStringLiteral(KAVONET_VERSION), "Version", this), 1, 1);

  auto* top = new QHBoxLayout;
  top->addWidget(icon, 0, Qt::AlignTop);
  top->addSpacing(12);
  top->addLayout(facts);
  top->addStretch();

  // The default button and the one Escape presses: it only closes.
  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("OKButton"));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(ok, 0, Qt::AlignHCenter);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace kavonet::ui
