// The stored mapping of cell group modules (module records) and the
// "CGMs Map" tab that shows modules 1 to 16 for hand editing.
#include "ConfigPage.h"

#include "CanDeviceCatalog.h"
#include "MyGroupBox.h"
#include "ParamConversion.h"
#include "SignalWindowTab.h"
#include "Tip.h"
#include "WidgetFold.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpacerItem>
#include <QVBoxLayout>

using namespace ParamConversion;

namespace {
constexpr int kModuleCount = 0x0C05;
constexpr int kCellStrings = 0x0013;
constexpr int kShownModules = 16;
} // namespace

void ConfigPage::createCgmMappingParams()
{
    moduleCountEdit = createParamWidget(QStringLiteral("Number of cells CAN modules 1"), LineEdit, kModuleCount,
                                        Plain, 0, kModuleRecords, 0, 1);
    for (int m = 1; m <= kModuleRecords; ++m) {
        ModuleRecord& r = moduleRecords[m - 1];
        r.serialEdit = createParamWidget(QString::asprintf("Module %u Serial", unsigned(m)), LineEdit,
                                         0x0D27 + 2 * (m - 1), Plain, 0, 65535, 0, 1);
        r.stringEdit = createParamWidget(QString::asprintf("Module %u String", unsigned(m)), LineEdit, 0x0C66 + m,
                                         Plain, 0, 32, 0, 1);
        r.cellCountEdit = createParamWidget(QString::asprintf("Module %u Cell Count", unsigned(m)), LineEdit,
                                            0x0C06 + m, Plain, 0, 255, 0, 1);
    }
}

SignalWindowTab* ConfigPage::createCgmsMapTab(QWidget* parent)
{
    auto* tab = new SignalWindowTab(parent);
    auto* outer = new QVBoxLayout;
    auto* row = new QHBoxLayout;
    auto* column = new QVBoxLayout;
    outer->addLayout(row);
    row->addLayout(column);
    column->addWidget(new WidgetFold(createCgmMappingGroup()));
    column->addStretch();
    row->addStretch();
    outer->addStretch();
    tab->setLayout(outer);
    return tab;
}

QWidget* ConfigPage::createCgmMappingGroup()
{
    auto* box = new MyGroupBox(tr("Cell Group Modules Mapping"));
    registerFeatureGroup(box, false);
    auto* grid = new QGridLayout;
    box->setLayout(grid);
    grid->setHorizontalSpacing(2);
    grid->setVerticalSpacing(1);
    grid->setColumnStretch(4, 1);
    auto shown = [this](QWidget* w) { return registerFeatureWidget(w, 0, 0); };

    // Only 32 module records exist, so no more modules can be counted.
    QWidget* count = createParamWidget(tr("Number of CGMs"), LineEdit, kModuleCount, Plain, 0, kModuleRecords, 0, 1);
    new Tip(count, tr("Total number of Cell Group Modules in the battery pack."), 0, 200, 10000, 0);
    grid->addWidget(shown(new QLabel(tr("Number of CGMs:"))), 0, 0, 1, 3);
    grid->addWidget(shown(count), 0, 3);

    parallelStringsEdit = createParamWidget(tr("Number of Parallel Strings:"), LineEdit, kCellStrings, Plain, 0, 254,
                                            0, 1);
    new Tip(parallelStringsEdit,
            tr("Number of parallel Strings in the battery pack.<br/>Note: Make sure that number of cells in each "
               "string's is configured equal"),
            0, 200, 10000, 0);
    grid->addWidget(shown(new QLabel(tr("Number of Parallel Strings:"))), 1, 0, 1, 3);
    grid->addWidget(shown(parallelStringsEdit), 1, 3);

    cgmTypeBox = new QComboBox;
    for (quint16 type : canGroupModuleTypeIds())
        cgmTypeBox->addItem(canDevicePartNumber(type), type);
    new Tip(cgmTypeBox, tr("Please select the correct CGM part number before pressing Commit."), 3, 200, 10000, 0);
    grid->addWidget(shown(new QLabel(tr("CGM Type:"))), 2, 0, 1, 3);
    grid->addWidget(shown(cgmTypeBox), 2, 3);

    grid->addItem(new QSpacerItem(10, 5, QSizePolicy::Fixed, QSizePolicy::Fixed), 3, 0);
    grid->addWidget(new QLabel(tr("#")), 4, 0);
    grid->addWidget(new QLabel(tr("Cells Count")), 4, 1);
    grid->addWidget(new QLabel(tr("String Id")), 4, 2);
    grid->addWidget(new QLabel(tr("CGM Serial Number")), 4, 3, 1, 2);

    for (int m = 1; m <= kShownModules; ++m) {
        ModuleRecord& r = moduleRecords[m - 1];
        const int row = m + 4;
        auto* button = new QPushButton(QStringLiteral("Commit"));
        button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        button->setFixedHeight(20);
        button->resize(50, 20);
        button->setProperty("CGMID", m - 1);
        new Tip(button, tr("Commit the configuration to CGM."), 0, 200, 10000, 0);
        connect(button, &QPushButton::clicked, this, &ConfigPage::slotCommitCGMButtonPressed);
        r.commitButton = button;
        grid->addWidget(shown(new QLabel(QString::number(m))), row, 0);
        grid->addWidget(shown(r.cellCountEdit), row, 1);
        grid->addWidget(shown(r.stringEdit), row, 2);
        grid->addWidget(shown(r.serialEdit), row, 3);
        grid->addWidget(shown(button), row, 4);
    }
    grid->addWidget(new QLabel, 21, 0);
    grid->setRowStretch(21, 1);
    return box;
}
