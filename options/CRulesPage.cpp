#include "CRulesPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTextStream>
#include <QVBoxLayout>

#include "CTaskRulesJson.h"
#include "CZoneFile.h"
#include "CZoneRules.h"
#include "CalendarNames.h"

namespace {

// The choices in the order of the rules' own values.
const char* const kOnDayOffChoices[] = {"Send it anyway", "Move it to the working day before",
                                        "Move it to the working day after", "Skip it"};
const char* const kNothingAttachedChoices[] = {"Send without it", "Do not send; record it as skipped",
                                               "Wait for the file"};
const char* const kMissedChoices[] = {"Send each of them", "Send only the latest", "Send none of them"};

QComboBox* Choices(QWidget* pParent, std::initializer_list<const char*> list) {
    auto* pBox = new QComboBox(pParent);
    for (const char* psz : list) pBox->addItem(psz);
    return pBox;
}

// The zones people pick from, as the system lists them; a name typed in
// that the list lacks is taken too when the system has the zone.
QStringList ZoneNames() {
    QStringList list;
    QFile file(QString::fromStdString(CZoneFile::Folder()) + "/zone1970.tab");
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return list;
    QTextStream in(&file);
    while (!in.atEnd()) {
        const QString strLine = in.readLine();
        if (strLine.startsWith('#')) continue;
        const QStringList parts = strLine.split('\t');
        if (parts.size() >= 3) list << parts[2];
    }
    list << "UTC";
    list.sort();
    list.removeDuplicates();
    return list;
}

}  // namespace

CRulesPage::CRulesPage(QWidget* pParent) : QWidget(pParent) {
    auto* pLayout = new QVBoxLayout(this);

    auto* pDaysBox = new QGroupBox("Working days and holidays", this);
    auto* pDaysLayout = new QFormLayout(pDaysBox);
    auto* pDayRow = new QHBoxLayout;
    // Monday first, as a working week is read.
    for (int i : {2, 3, 4, 5, 6, 7, 1}) {
        m_arrDays[i - 1] = new QCheckBox(QString(kWeekdayNames[static_cast<size_t>(i - 1)]).left(3), pDaysBox);
        pDayRow->addWidget(m_arrDays[i - 1]);
        connect(m_arrDays[i - 1], &QCheckBox::toggled, this, &CRulesPage::Edited);
    }
    pDaysLayout->addRow("Working days:", pDayRow);
    auto* pHolidayRow = new QHBoxLayout;
    m_pHolidays = new QListWidget(pDaysBox);
    m_pHolidays->setMaximumHeight(56);
    auto* pButtons = new QVBoxLayout;
    auto* pAdd = new QPushButton("A&dd holidays...", pDaysBox);
    m_pRemoveHoliday = new QPushButton("Re&move", pDaysBox);
    pButtons->addWidget(pAdd);
    pButtons->addWidget(m_pRemoveHoliday);
    pHolidayRow->addWidget(m_pHolidays);
    pHolidayRow->addLayout(pButtons);
    pDaysLayout->addRow("Holidays (.ics):", pHolidayRow);
    m_pOnDayOff =
        Choices(pDaysBox, {kOnDayOffChoices[0], kOnDayOffChoices[1], kOnDayOffChoices[2], kOnDayOffChoices[3]});
    pDaysLayout->addRow("On a day off:", m_pOnDayOff);
    pLayout->addWidget(pDaysBox);

    auto* pOtherBox = new QGroupBox("Sending", this);
    auto* pOther = new QFormLayout(pOtherBox);
    m_pZone = new QComboBox(pOtherBox);
    m_pZone->setEditable(true);
    m_pZone->addItem("");
    m_pZone->addItems(ZoneNames());
    m_pZone->lineEdit()->setPlaceholderText("this computer's zone");
    m_pZoneNote = new QLabel(pOtherBox);
    m_pZoneNote->setObjectName("zoneNote");
    auto* pZoneColumn = new QVBoxLayout;
    pZoneColumn->addWidget(m_pZone);
    pZoneColumn->addWidget(m_pZoneNote);
    pOther->addRow("Time zone:", pZoneColumn);
    m_pNothingAttached =
        Choices(pOtherBox, {kNothingAttachedChoices[0], kNothingAttachedChoices[1], kNothingAttachedChoices[2]});
    m_pWaitMinutes = new QSpinBox(pOtherBox);
    m_pWaitDeadline = new QSpinBox(pOtherBox);
    for (QSpinBox* pSpin : {m_pWaitMinutes, m_pWaitDeadline}) {
        pSpin->setRange(1, CTaskRulesJson::kMaxWaitMinutes);
        pSpin->setSuffix(" min");
        connect(pSpin, &QSpinBox::valueChanged, this, &CRulesPage::Edited);
    }
    m_pWaitMinutes->setValue(10);
    m_pWaitDeadline->setValue(120);
    auto* pWaitRow = new QHBoxLayout;
    pWaitRow->addWidget(new QLabel("try every", pOtherBox));
    pWaitRow->addWidget(m_pWaitMinutes);
    pWaitRow->addWidget(new QLabel("for up to", pOtherBox));
    pWaitRow->addWidget(m_pWaitDeadline);
    m_pWaitThen = Choices(pOtherBox, {"then skip it", "then send without it"});
    pWaitRow->addWidget(m_pWaitThen);
    auto* pAttachColumn = new QVBoxLayout;
    pAttachColumn->addWidget(m_pNothingAttached);
    pAttachColumn->addLayout(pWaitRow);
    pOther->addRow("Nothing to attach:", pAttachColumn);
    m_pMissed = Choices(pOtherBox, {kMissedChoices[0], kMissedChoices[1], kMissedChoices[2]});
    pOther->addRow("Missed occurrences:", m_pMissed);
    auto* pPauseRow = new QHBoxLayout;
    m_pPause = new QCheckBox("Pause until", pOtherBox);
    m_pPauseUntil = new QDateEdit(QDate::currentDate().addDays(7), pOtherBox);
    m_pPauseUntil->setCalendarPopup(true);
    m_pPauseUntil->setDisplayFormat("yyyy-MM-dd");
    pPauseRow->addWidget(m_pPause);
    pPauseRow->addWidget(m_pPauseUntil);
    pPauseRow->addStretch();
    pOther->addRow("", pPauseRow);
    m_pSkipNext = new QCheckBox("Skip the next occurrence", pOtherBox);
    pOther->addRow("", m_pSkipNext);
    pLayout->addWidget(pOtherBox);
    pLayout->addStretch();

    connect(pAdd, &QPushButton::clicked, this, &CRulesPage::OnAddHolidays);
    connect(m_pRemoveHoliday, &QPushButton::clicked, this, &CRulesPage::OnRemoveHoliday);
    connect(m_pHolidays, &QListWidget::currentRowChanged, this, &CRulesPage::EnableDependents);
    connect(m_pWaitThen, &QComboBox::currentIndexChanged, this, &CRulesPage::Edited);
    for (QComboBox* pBox : {m_pOnDayOff, m_pNothingAttached, m_pMissed}) {
        connect(pBox, &QComboBox::currentIndexChanged, this, &CRulesPage::EnableDependents);
        connect(pBox, &QComboBox::currentIndexChanged, this, &CRulesPage::Edited);
    }
    connect(m_pZone, &QComboBox::currentTextChanged, this, &CRulesPage::Edited);
    connect(m_pPause, &QCheckBox::toggled, this, &CRulesPage::EnableDependents);
    for (QCheckBox* pBox : {m_pPause, m_pSkipNext}) connect(pBox, &QCheckBox::toggled, this, &CRulesPage::Edited);
    connect(m_pPauseUntil, &QDateEdit::dateChanged, this, &CRulesPage::Edited);
    Load(CTaskRules{});
}

void CRulesPage::Load(const CTaskRules& rules) {
    const QSignalBlocker block(this);
    for (int d = 1; d <= 7; ++d) m_arrDays[d - 1]->setChecked((rules.nWorkingDays >> d) & 1);
    m_pHolidays->clear();
    for (const auto& str : rules.vecHolidayFiles) m_pHolidays->addItem(QString::fromStdString(str));
    m_pOnDayOff->setCurrentIndex(static_cast<int>(rules.eOnDayOff));
    m_pZone->setCurrentText(QString::fromStdString(rules.strZone));
    m_pNothingAttached->setCurrentIndex(static_cast<int>(rules.eNothingAttached));
    if (rules.eNothingAttached == CTaskRules::ENothingAttached::Wait) {
        m_pWaitMinutes->setValue(rules.nWaitMinutes);
        m_pWaitDeadline->setValue(rules.nWaitDeadlineMinutes);
        m_pWaitThen->setCurrentIndex(rules.eWaitThen == CTaskRules::ENothingAttached::Send ? 1 : 0);
    }
    m_pMissed->setCurrentIndex(static_cast<int>(rules.eMissed));
    m_pPause->setChecked(rules.pauseUntil.IsSet());
    if (rules.pauseUntil.IsSet())
        m_pPauseUntil->setDate(QDate(rules.pauseUntil.nYear, rules.pauseUntil.nMonth, rules.pauseUntil.nDay));
    m_pSkipNext->setChecked(rules.bSkipNext);
    EnableDependents();
}

CResult<CTaskRules> CRulesPage::Rules() const {
    // Through the rules' JSON, so the page accepts exactly what a file or the tool may hold.
    nlohmann::json j = nlohmann::json::object();
    std::string strDays;
    uint8_t nDays = 0;
    for (int d = 1; d <= 7; ++d)
        if (m_arrDays[d - 1]->isChecked()) nDays |= static_cast<uint8_t>(1u << d);
    if (nDays == 0) return CProblem("Working days: please tick at least one day.");
    j["workingDays"] = CWorkingDays::WeekdaysText(nDays);
    j["holidays"] = nlohmann::json::array();
    for (int i = 0; i < m_pHolidays->count(); ++i) j["holidays"].push_back(m_pHolidays->item(i)->text().toStdString());
    j["onHoliday"] = CTaskRules::kOnDayOffWords[static_cast<size_t>(m_pOnDayOff->currentIndex())];
    const std::string strZone = m_pZone->currentText().trimmed().toStdString();
    if (!strZone.empty() && !CZoneRules::Named(strZone))
        return CProblem("Time zone: \"" + strZone + "\" is not a zone this computer knows (e.g. America/New_York).");
    j["zone"] = strZone;
    j["ifNothingAttached"] = CTaskRules::kNothingAttachedWords[static_cast<size_t>(m_pNothingAttached->currentIndex())];
    if (m_pNothingAttached->currentIndex() == static_cast<int>(CTaskRules::ENothingAttached::Wait)) {
        j["waitMinutes"] = m_pWaitMinutes->value();
        j["waitDeadlineMinutes"] = m_pWaitDeadline->value();
        j["waitThen"] = m_pWaitThen->currentIndex() == 1 ? "send" : "skip";
    }
    j["missed"] = CTaskRules::kMissedWords[static_cast<size_t>(m_pMissed->currentIndex())];
    if (m_pPause->isChecked()) j["pauseUntil"] = m_pPauseUntil->date().toString("yyyy-MM-dd").toStdString();
    j["skipNext"] = m_pSkipNext->isChecked();
    auto r = CTaskRulesJson::FromJson(j);
    if (!r) {
        std::string strProblem = r.Problem();
        if (strProblem.find("waitDeadlineMinutes") != std::string::npos)
            return CProblem("Nothing to attach: the wait must be at least as long as one try.");
        return CProblem("Rules: " + strProblem);
    }
    return r;
}

void CRulesPage::ShowZoneNote(const std::string& strNote) { m_pZoneNote->setText(QString::fromStdString(strNote)); }

void CRulesPage::AddHolidayFiles(const QStringList& listPaths) {
    for (const QString& strPath : listPaths)
        if (m_pHolidays->findItems(strPath, Qt::MatchExactly).isEmpty()) m_pHolidays->addItem(strPath);
    EnableDependents();
    emit Edited();
}

void CRulesPage::OnAddHolidays() {
    AddHolidayFiles(QFileDialog::getOpenFileNames(this, "Holidays", QString(), "iCalendar files (*.ics)"));
}

void CRulesPage::OnRemoveHoliday() {
    delete m_pHolidays->takeItem(m_pHolidays->currentRow());
    EnableDependents();
    emit Edited();
}

void CRulesPage::EnableDependents() {
    const bool bWait = m_pNothingAttached->currentIndex() == static_cast<int>(CTaskRules::ENothingAttached::Wait);
    m_pWaitMinutes->setEnabled(bWait);
    m_pWaitDeadline->setEnabled(bWait);
    m_pWaitThen->setEnabled(bWait);
    m_pPauseUntil->setEnabled(m_pPause->isChecked());
    m_pRemoveHoliday->setEnabled(m_pHolidays->currentRow() >= 0);
}
