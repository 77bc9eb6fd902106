#include "dlgAbout.h"


#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

namespace buslink {

namespace {

// The component's picture: a serial plug with a data trace.
QPixmap componentPicture()
{
    QPixmap picture(48, 48);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1f, 0x5f, 0x9f));
    p.drawRoundedRect(QRectF(2, 6, 44, 36), 7, 7);
    p.setPen(QPen(Qt::white, 3, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    QPainterPath trace;
    trace.moveTo(8, 30);
    trace.lineTo(14, 30);
    trace.lineTo(14, 18);
    trace.lineTo(22, 18);
    trace.lineTo(22, 30);
    trace.lineTo(28, 30);
    trace.lineTo(28, 18);
    trace.lineTo(34, 18);
    trace.lineTo(34, 30);
    trace.lineTo(40, 30);
    p.setBrush(Qt::NoBrush);
    p.drawPath(trace);
    return picture;
}

} // namespace

QString dlgAbout::ComponentTitle()
{
    return QStringLiteral("Buslink");
}

QString dlgAbout::VersionText()
{
    return QStringLiteral(BUSLINK_VERSION_TEXT);
}

dlgAbout::dlgAbout(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("dlgAbout"));
    setWindowTitle(QStringLiteral("About ") + ComponentTitle());
    picIcon = new QLabel(this);
    picIcon->setObjectName(QStringLiteral("picIcon"));
    picIcon->setPixmap(componentPicture());
    picIcon->setAlignment(Qt::AlignTop);
    auto* title = new QLabel(ComponentTitle(), this);
    QFont bold = title->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.3);
    title->setFont(bold);
    lblVersion = new QLabel(QStringLiteral("Version ") + VersionText(), this);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    Command1 = new QPushButton(QStringLiteral("OK"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setDefault(true);
    connect(Command1, &QPushButton::clicked, this, &QDialog::accept);

    auto* text = new QVBoxLayout;
    text->addWidget(title);
    text->addWidget(lblVersion);
    text->addStretch(1);
    auto* top = new QHBoxLayout;
    top->addWidget(picIcon);
    top->addSpacing(12);
    top->addLayout(text, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Command1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addSpacing(8);
    layout->addLayout(buttons);
    setMinimumWidth(300);
}

} // namespace buslink
