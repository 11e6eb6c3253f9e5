#include "app/dialog_pin.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include <mbedtls/platform_util.h>

CDialogPIN::CDialogPIN(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      pinField_(new QLineEdit(this)),
      okButton_(new QPushButton("OK", this)),
      cancelButton_(new QPushButton("Cancel", this)) {
  // No title and, with no system menu, no close box: OK or Cancel decides.
  setWindowTitle(QString());
  setModal(true);

  pinField_->setEchoMode(QLineEdit::Password);
  pinField_->setMinimumWidth(fontMetrics().averageCharWidth() * 30);
  auto* label = new QLabel("PIN:", this);
  label->setBuddy(pinField_);

  okButton_->setDefault(true);
  okButton_->setAutoDefault(true);
  cancelButton_->setAutoDefault(false);
  connect(okButton_, &QPushButton::clicked, this, &CDialogPIN::OnBnClickedOk);
  connect(cancelButton_, &QPushButton::clicked, this, &CDialogPIN::OnBnClickedCancel);

  auto* field = new QHBoxLayout;
  field->addWidget(label);
  field->addWidget(pinField_, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(okButton_);
  buttons->addWidget(cancelButton_);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(24, 24, 16, 16);
  layout->addLayout(field);
  layout->addSpacing(24);
  layout->addLayout(buttons);
  setFixedSize(sizeHint());
  pinField_->setFocus();
}

void CDialogPIN::OnBnClickedOk() {
  QByteArray utf8 = pinField_->text().toUtf8();
  pinText.assign(utf8.constData(), static_cast<size_t>(utf8.size()));
  mbedtls_platform_zeroize(utf8.data(), static_cast<size_t>(utf8.size()));
  accept();
}

void CDialogPIN::OnBnClickedCancel() {
  WipePin();
  QDialog::reject();
}

void CDialogPIN::WipePin() {
  mbedtls_platform_zeroize(pinText.data(), pinText.size());
  pinText.clear();
  // The field's text is shared with this copy: overwriting the shared
  // characters overwrites the field's own. Setting a new text also drops the
  // field's undo history of the typed characters.
  const QString typed = pinField_->text();
  if (!typed.isEmpty()) {
    QChar* characters = const_cast<QChar*>(typed.constData());
    std::fill(characters, characters + typed.size(), QChar(u'\0'));
  }
  pinField_->setText(QString());
}

void CDialogPIN::reject() { OnBnClickedCancel(); }
