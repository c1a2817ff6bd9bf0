#include "dialogs/AboutDialog.h"

#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include "common/Ansi.h"
#include "common/ShownText.h"
#include "dialogs/FixedWindow.h"

namespace {

constexpr int ClientWidth = 473;
constexpr int ClientHeight = 668;
constexpr int Margin = 8;
constexpr int BoxWidth = ClientWidth - 2 * Margin;

const char* const AuthorCredit = " \u00A9 2026 команда Quorrel";

const char* const WhatItIs =
    "Quorrel \u2014 каталог Java-игр для телефонов Samsung SGH. Прежде чем закачать игру в телефон, "
    "можно посмотреть её скриншот, описание и размер, а каталог обновить с сервера обновлений.\n"
    "Всё, что вы делаете с телефоном с помощью этой программы, вы делаете на свой страх и риск.";

const char* const SupportedPhones =
    "SGH-X100,SGH-X600,SGH-E100,SGH-X100A,SGH-X460,SGH-E700, \n"
    "SGH-E800,SGH-E820,SGH-E630,SGH-E330,SGH-D500";

const char* const Credits =
    "Quorrel написала команда Quorrel на C++ и Qt 6 для Linux.\n"
    "Игры, их описания и скриншоты присылают пользователи: имя приславшего показано у каждой игры "
    "в поле \u00ABПрислал\u00BB. Спасибо всем, кто присылает игры и сообщает об ошибках.";

const char* const Licence =
    "Quorrel распространяется бесплатно на условиях лицензии MIT: программу можно свободно использовать, "
    "копировать, изменять и распространять, сохраняя это уведомление об авторских правах.\n"
    "Программа предоставляется \u00ABкак есть\u00BB, без каких-либо гарантий.\n"
    "Игры принадлежат их авторам. Samsung и SGH \u2014 товарные знаки Samsung Electronics, "
    "Java \u2014 товарный знак Oracle.";

QLabel* label(QWidget* parent, const char* name, int top, bool bold) {
  auto* l = new QLabel(parent);
  l->setObjectName(QLatin1String(name));
  l->setGeometry(Margin, top, BoxWidth, 17);
  if (bold) {
    QFont f = l->font();
    f.setBold(true);
    l->setFont(f);
  }
  return l;
}

// A group box holding a read-only, borderless memo painted in the window colour.
QGroupBox* textBox(QWidget* parent, const char* boxName, const char* memoName, const QString& caption,
                   const QString& text, int top, int height, QPlainTextEdit** memo) {
  auto* box = new QGroupBox(caption, parent);
  box->setObjectName(QLatin1String(boxName));
  box->setGeometry(Margin, top, BoxWidth, height);
  box->setAccessibleName(caption);
  auto* m = new QPlainTextEdit(box);
  m->setObjectName(QLatin1String(memoName));
  m->setGeometry(8, 20, BoxWidth - 16, height - 28);
  m->setReadOnly(true);
  m->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  m->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  m->setFrameShape(QFrame::NoFrame);
  m->setPlainText(text);
  m->setAccessibleName(caption);
  quorrel::paintInWindowColour(m);
  *memo = m;
  return box;
}

}  // namespace

AboutDialog::AboutDialog(QWidget* owner, const quorrel::AboutFacts& facts) : QDialog(owner), facts_(facts) {
  setObjectName(QStringLiteral("AboutDialog"));
  setWindowTitle(QStringLiteral("О программе..."));
  quorrel::setUpFixedWindow(this, owner, {ClientWidth, ClientHeight, true});

  titleLabel = label(this, "titleLabel", 8, true);
  gameCountLabel = label(this, "gameCountLabel", 30, false);
  pluginVersionLabel = label(this, "pluginVersionLabel", 50, false);
  baseVersionLabel = label(this, "baseVersionLabel", 70, false);

  whatItIsBox = textBox(this, "whatItIsBox", "whatItIsText", QStringLiteral("Что это такое?"),
                        QString::fromUtf8(WhatItIs), 94, 110, &whatItIsText);
  phonesBox = textBox(this, "phonesBox", "phonesText", QStringLiteral("Поддерживаемые модели телефонов"),
                      QString::fromUtf8(SupportedPhones), 212, 62, &phonesText);
  creditsBox = textBox(this, "creditsBox", "creditsText", QStringLiteral("Кто сделал Quorrel"),
                       QString::fromUtf8(Credits), 282, 104, &creditsText);
  licenceBox = textBox(this, "licenceBox", "licenceText", QStringLiteral("Лицензия"), QString::fromUtf8(Licence), 394,
                       220, &licenceText);

  okButton = new QPushButton(QStringLiteral("OK"), this);
  okButton->setObjectName(QStringLiteral("okButton"));
  okButton->setGeometry((ClientWidth - 75) / 2, ClientHeight - 25 - 16, 75, 25);
  okButton->setDefault(true);
  okButton->setAccessibleName(QStringLiteral("OK"));
  connect(okButton, &QPushButton::clicked, this, [this] { dismiss(); });

  fillLabels();
}

void AboutDialog::fillLabels() {
  titleLabel->setText(facts_.programTitle + QString::fromUtf8(AuthorCredit));
  gameCountLabel->setText(QStringLiteral("Всего в базе игр: ") + QString::number(facts_.gameCount));
  pluginVersionLabel->setText(quorrel::shownLabel(quorrel::fromAnsi(facts_.pluginVersion)));
  baseVersionLabel->setText(QStringLiteral("Версия базы: ") +
                            quorrel::shownLabel(quorrel::fromAnsi(facts_.baseVersion)));
  // The plugin's and the catalogue's texts are shown as they stand, never as markup.
  pluginVersionLabel->setTextFormat(Qt::PlainText);
  baseVersionLabel->setTextFormat(Qt::PlainText);
  for (QLabel* l : {titleLabel, gameCountLabel, pluginVersionLabel, baseVersionLabel}) l->setAccessibleName(l->text());
}

void AboutDialog::dismiss() { accept(); }
