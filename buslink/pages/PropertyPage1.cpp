#include "PropertyPage1.h"

#include "conversions/VariantNumbers.h"
#include "shell/Buslink.h"

#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>

namespace buslink {

PropertyPage1::PropertyPage1(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("PropertyPage1"));
    setWindowTitle(QStringLiteral("PropertyPage1"));
    auto* layout = new QFormLayout(this);
    layout->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    const auto field = [&](const char* name, const QString& label) {
        auto* edit = new QLineEdit(this);
        edit->setObjectName(QLatin1String(name));
        auto* caption = new QLabel(label, this);
        caption->setBuddy(edit);
        layout->addRow(caption, edit);
        connect(edit, &QLineEdit::textEdited, this, [this] { setChanged(true); });
        return edit;
    };
    txtNumOfWriteRetries = field("txtNumOfWriteRetries", QStringLiteral("NumOfWriteRetries:"));
    txtNumOfReadRetries = field("txtNumOfReadRetries", QStringLiteral("NumOfReadRetries:"));
    txtCommPort = field("txtCommPort", QStringLiteral("CommPort:"));
    txtAddress = field("txtAddress", QStringLiteral("Address:"));
    txtSettings = field("txtSettings", QStringLiteral("Settings:"));
    txtReplyTimeout = field("txtReplyTimeout", QStringLiteral("ReplyTimeout (ms):"));
    setMinimumWidth(320);
}

void PropertyPage1::setChanged(bool on)
{
    if (changed == on) return;
    changed = on;
    emit changedChanged(on);
}

void PropertyPage1::SelectionChanged(const QList<Buslink*>& selectedControls)
{
    selected = selectedControls.isEmpty() ? nullptr : selectedControls.first();
    if (!selected) return;
    txtNumOfWriteRetries->setText(QString::number(selected->NumOfWriteRetries()));
    txtNumOfReadRetries->setText(QString::number(selected->NumOfReadRetries()));
    txtCommPort->setText(QString::number(selected->CommPort()));
    txtAddress->setText(QString::number(selected->Address()));
    txtSettings->setText(selected->Settings());
    txtReplyTimeout->setText(QString::number(selected->ReplyTimeout()));
}

void PropertyPage1::ApplyChanges()
{
    if (!selected) return;
    // Each numeric property converts its text the way the component converts any value.
    selected->setNumOfWriteRetries(VariantToInt16(txtNumOfWriteRetries->text()));
    selected->setNumOfReadRetries(VariantToInt16(txtNumOfReadRetries->text()));
    selected->setCommPort(VariantToInt16(txtCommPort->text()));
    selected->setAddress(VariantToInt32(txtAddress->text()));
    selected->setSettings(txtSettings->text());
    selected->setReplyTimeout(VariantToInt32(txtReplyTimeout->text()));
}

} // namespace buslink
