#include "app/about_dialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "app/link_label.h"
#include "app/product.h"

namespace reelmill {

AboutDialog::AboutDialog(Desktop& desktop, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("aboutDialog"));
  setWindowTitle(QStringLiteral("About ") + kProductName);
  auto* icon = new QLabel(this);
  icon->setPixmap(windowIcon().pixmap(48, 48));
  auto* name = new QLabel(QStringLiteral("<b>%1</b> %2").arg(kProductName, kProductVersion), this);
  name->setObjectName(QStringLiteral("aboutName"));
  auto* blurb = new QLabel(QStringLiteral("Converts animated GIF files to AVI, SWF and image sequences."), this);
  auto* link = new LinkLabel(desktop, kHomePage, kHomePage, this);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

  auto* text = new QVBoxLayout;
  text->addWidget(name);
  text->addWidget(blurb);
  text->addWidget(link);
  auto* top = new QHBoxLayout;
  top->addWidget(icon, 0, Qt::AlignTop);
  top->addLayout(text);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(buttons);
  setSizeGripEnabled(false);
}

}  // namespace reelmill
