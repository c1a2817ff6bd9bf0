#include "app/ZipProgressDialog.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>

#include "common/Prompter.h"
#include "net/ZipExtractor.h"

ZipProgressDialog::ZipProgressDialog(ZipExtractor* zip, QWidget* mainWindow)
    : QDialog(mainWindow, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint | Qt::CustomizeWindowHint),
      zip_(zip) {
  setObjectName(QStringLiteral("ZipProgressDialog"));
  setWindowTitle(quorrel::appTitle());
  setFixedSize(300, 100);
  fileNameLabel = new QLabel(QStringLiteral("wait ..."), this);
  fileNameLabel->setObjectName(QStringLiteral("fileNameLabel"));
  fileNameLabel->setGeometry(10, 15, 280, fileNameLabel->sizeHint().height());
  progressBar = new QProgressBar(this);
  progressBar->setObjectName(QStringLiteral("progressBar"));
  progressBar->setGeometry(10, 35, 280, 16);
  progressBar->setTextVisible(false);
  cancelButton = new QPushButton(QStringLiteral("&Cancel"), this);
  cancelButton->setObjectName(QStringLiteral("cancelButton"));
  cancelButton->setAccessibleName(QStringLiteral("Cancel"));
  const QSize b = cancelButton->sizeHint();
  cancelButton->setGeometry((300 - b.width()) / 2, 60, b.width(), b.height());
  cancelButton->setDefault(true);
  connect(cancelButton, &QPushButton::clicked, this, &ZipProgressDialog::cancelExtraction);
  if (mainWindow) {
    const QRect r = mainWindow->frameGeometry();
    move(r.center() - QPoint(150, 50));
  }
}

void ZipProgressDialog::showFileName(const QString& text) {
  const int width = std::min(fileNameLabel->fontMetrics().horizontalAdvance(text) + 2, 280);
  fileNameLabel->setText(text);
  fileNameLabel->setGeometry((300 - width) / 2, fileNameLabel->y(), width, fileNameLabel->height());
  fileNameLabel->repaint();
}

void ZipProgressDialog::reject() { cancelExtraction(); }

void ZipProgressDialog::cancelExtraction() {
  zip_->cancelled = true;
  hide();
}

// ---------------------------------------------------------------------------------------------------------------

ZipProgressWindow::ZipProgressWindow(ZipExtractor& zip, QWidget* mainWindow) : zip_(zip), mainWindow_(mainWindow) {
  zip_.setProgressView(this);
}

ZipProgressWindow::~ZipProgressWindow() { zip_.setProgressView(nullptr); }

void ZipProgressWindow::extractionStarted() {
  dialog_ = std::make_unique<ZipProgressDialog>(&zip_, mainWindow_ ? mainWindow_->window() : nullptr);
  dialog_->show();
}

void ZipProgressWindow::extractionEnded() { dialog_.reset(); }

void ZipProgressWindow::batchSize(std::int32_t totalBytes) {
  if (dialog_) dialog_->progressBar->setMaximum(totalBytes);
}

void ZipProgressWindow::bytesDone(std::int64_t bytesDone) {
  if (dialog_)
    dialog_->progressBar->setValue(static_cast<int>(std::min<std::int64_t>(bytesDone, dialog_->progressBar->maximum())));
}

void ZipProgressWindow::memberBegins(const QString& name) {
  if (dialog_) dialog_->showFileName(name);
}

void ZipProgressWindow::batchEnded() {
  if (dialog_) dialog_->hide();
}

void ZipProgressWindow::questionAsked() {
  if (dialog_) dialog_->hide();
}

void ZipProgressWindow::questionAnswered() {
  if (dialog_) dialog_->show();
}
