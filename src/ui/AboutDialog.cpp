#include "ui/AboutDialog.h"

#include <QGridLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "ui/Fonts.h"
#include "ui/SoftKeyBar.h"

namespace tavrin::ui {
namespace {

constexpr const char* kMakerLines[] = {
    "Copyright \u00a9 2025",
    "Korvel Software",
    "https://korvel.example/tavrin",
};

// Which desktop key stands for which key of the keypad.
constexpr const char* kKeyLegend[][2] = {
    {"F1, F2", "left and right soft key"},
    {"Return", "Action: play the selected recording"},
    {"Escape", "Back"},
    {"Up, Down", "move in the list of recordings"},
    {"0 \u2013 9, Left, Right", "keys you can assign"},
    {"* or F8, # or F9", "star and pound, assignable too"},
    {"F3", "Talk"},
    {"F4", "End: stop playing or recording"},
    {"F6, F7", "volume up, volume down"},
    {"F10", "the record key: record, and stop"},
};

}  // namespace

AboutDialog::AboutDialog(QWidget* parent) : KeypadDialog(parent, QStringLiteral("Tavrin")) {
    setObjectName(QStringLiteral("aboutDialog"));
    auto* product = new QLabel(QString::fromUtf8(kProductLine), this);
    product->setObjectName(QStringLiteral("productLine"));
    product->setFont(CaptionFont());
    body().addWidget(product);
    for (const char* line : kMakerLines) body().addWidget(new QLabel(QString::fromUtf8(line), this));
    body().addSpacing(16);

    auto* legendTitle = new QLabel(tr("Keys"), this);
    legendTitle->setFont(CaptionFont());
    body().addWidget(legendTitle);
    auto* legend = new QGridLayout;
    legend->setHorizontalSpacing(12);
    int row = 0;
    for (const auto& [keys, meaning] : kKeyLegend) {
        legend->addWidget(new QLabel(QString::fromUtf8(keys), this), row, 0);
        legend->addWidget(new QLabel(QString::fromUtf8(meaning), this), row, 1);
        ++row;
    }
    legend->setColumnStretch(1, 1);
    body().addLayout(legend);
    body().addStretch(1);
    softKeys().setLeft(softkey::Done, tr("Done"));
}

void AboutDialog::onSoftKey(std::uint32_t command) {
    if (command == softkey::Done) done(result::Done);
}

}  // namespace tavrin::ui
