#include "dialogs/AboutUnit.h"

#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include "app/MainUnit.h"
#include "common/Ansi.h"
#include "common/ShownText.h"
#include "dialogs/FixedWindow.h"
#include "phone/SGHFS.h"

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

TAboutForm::TAboutForm(TMainForm* owner) : QDialog(owner), owner_(owner) {
  setObjectName(QStringLiteral("AboutForm"));
  setWindowTitle(QStringLiteral("О программе..."));
  quorrel::setUpFixedWindow(this, owner, {ClientWidth, ClientHeight, true});

  Label1 = label(this, "Label1", 8, true);
  Label2 = label(this, "Label2", 30, false);
  Label3 = label(this, "Label3", 50, false);
  Label4 = label(this, "Label4", 70, false);

  GroupBox1 = textBox(this, "GroupBox1", "Memo1", QStringLiteral("Что это такое?"), QString::fromUtf8(WhatItIs), 94,
                      110, &Memo1);
  GroupBox2 = textBox(this, "GroupBox2", "Memo2", QStringLiteral("Поддерживаемые модели телефонов"),
                      QString::fromUtf8(SupportedPhones), 212, 62, &Memo2);
  GroupBox3 = textBox(this, "GroupBox3", "Memo3", QStringLiteral("Кто сделал Quorrel"), QString::fromUtf8(Credits), 282,
                      104, &Memo3);
  GroupBox4 =
      textBox(this, "GroupBox4", "Memo4", QStringLiteral("Лицензия"), QString::fromUtf8(Licence), 394, 220, &Memo4);

  Button1 = new QPushButton(QStringLiteral("OK"), this);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setGeometry((ClientWidth - 75) / 2, ClientHeight - 25 - 16, 75, 25);
  Button1->setDefault(true);
  Button1->setAccessibleName(QStringLiteral("OK"));
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });

  FormCreate();
}

void TAboutForm::FormCreate() {
  Label1->setText(owner_->windowTitle() + QString::fromUtf8(AuthorCredit));
  Label2->setText(QStringLiteral("Всего в базе игр: ") + QString::number(owner_->GameCount));
  Label3->setText(quorrel::fromAnsi(SGHFS::PluginVersion));
  Label4->setText(QStringLiteral("Версия базы: ") + quorrel::shownLabel(quorrel::fromAnsi(owner_->BaseVersion)));
  for (QLabel* l : {Label1, Label2, Label3, Label4}) l->setAccessibleName(l->text());
}

void TAboutForm::Button1Click() { accept(); }
