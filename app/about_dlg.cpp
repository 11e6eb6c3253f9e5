#include "app/about_dlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/program_version.h"
#include "app/quillmark_app.h"

const char* const ABOUT_CAPTION = "About Quillmark";
const char* const ABOUT_TEXT = "Quillmark, Version " QUILLMARK_VERSION_MAJOR_MINOR;

CAboutDlg::CAboutDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      okButton_(new QPushButton("OK", this)) {
  setWindowTitle(ABOUT_CAPTION);
  setModal(true);

  auto* icon = new QLabel(this);
  icon->setObjectName("aboutIcon");
  icon->setPixmap(QuillmarkIcon().pixmap(48, 48));
  auto* text = new QLabel(ABOUT_TEXT, this);
  text->setObjectName("aboutText");

  okButton_->setDefault(true);
  connect(okButton_, &QPushButton::clicked, this, &QDialog::accept);

  auto* top = new QHBoxLayout;
  top->addWidget(icon, 0, Qt::AlignTop);
  top->addSpacing(12);
  top->addWidget(text, 1, Qt::AlignVCenter);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(okButton_);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(16, 16, 16, 12);
  layout->addLayout(top);
  layout->addSpacing(8);
  layout->addLayout(buttons);
  setFixedSize(sizeHint().expandedTo(QSize(fontMetrics().averageCharWidth() * 42, 0)));
}
