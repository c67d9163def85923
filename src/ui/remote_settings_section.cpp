#include "ui/remote_settings_section.h"

#include <algorithm>

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

#include "ui/tavrel_theme.h"

namespace tavrel {

namespace {

QString targetTitle(const std::string& target) {
    if (target == "pause")
        return QStringLiteral("일시정지/계속");
    if (target == "stop")
        return QStringLiteral("중지");
    if (target == "fade")
        return QStringLiteral("페이드 아웃");
    return QStringLiteral("큐 %1").arg(QString::fromStdString(target.substr(3)));
}

QString messageText(const MidiMapping& mapping) {
    const QString channel = mapping.channel ? QStringLiteral("채널 %1").arg(*mapping.channel)
                                            : QStringLiteral("모든 채널");
    return QStringLiteral("%1 %2 (%3)")
        .arg(mapping.kind == MidiMapping::Kind::note ? QStringLiteral("노트")
                                                     : QStringLiteral("컨트롤러"))
        .arg(mapping.number)
        .arg(channel);
}

QLabel* statusLine(QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setWordWrap(true);
    label->setStyleSheet(
        QStringLiteral("color: %1;").arg(palette::secondary().name(QColor::HexRgb)));
    return label;
}

}  // namespace

RemoteSettingsSection::RemoteSettingsSection(const Preferences& preferences,
                                             RemoteSettingsServices services, QWidget* parent)
    : QWidget(parent),
      m_services(std::move(services)),
      m_mappings(preferences.midiMappings),
      m_oscEnabled(new QCheckBox(QStringLiteral("OSC로 받기"), this)),
      m_oscPort(new QSpinBox(this)),
      m_fromNetwork(new QCheckBox(QStringLiteral("다른 컴퓨터에서도 받기 (암호 필요)"), this)),
      m_passcode(new QLineEdit(this)),
      m_midiInput(new QComboBox(this)),
      m_learnTarget(new QComboBox(this)),
      m_learnButton(new QPushButton(QStringLiteral("MIDI 학습"), this)),
      m_mappingList(statusLine(this)),
      m_mirrors(new QTableWidget(0, 2, this)),
      m_problem(new QLabel(this)) {
    const auto status = m_services.status ? m_services.status() : RemoteSettingsServices::Status{};
    setUpOsc(preferences);
    setUpMidi(preferences, status);
    setUpMirrors(preferences);
    m_problem->setObjectName(QStringLiteral("remoteProblem"));
    m_problem->setWordWrap(true);
    m_problem->setStyleSheet(QStringLiteral("color: %1;").arg(palette::red().name(QColor::HexRgb)));
    if (status.problem)
        m_problem->setText(QString::fromStdString(*status.problem));
    m_problem->setVisible(status.problem.has_value());

    layOut(status);
}

void RemoteSettingsSection::setUpOsc(const Preferences& preferences) {
    m_oscEnabled->setChecked(preferences.oscEnabled);
    m_oscPort->setRange(1, 65535);
    m_oscPort->setValue(std::clamp(preferences.oscPort, 1, 65535));
    m_oscPort->setAccessibleName(QStringLiteral("OSC 포트"));
    m_fromNetwork->setChecked(preferences.oscFromNetwork);
    m_passcode->setText(QString::fromStdString(preferences.oscPasscode));
    m_passcode->setAccessibleName(QStringLiteral("OSC 암호"));
    m_passcode->setEchoMode(QLineEdit::PasswordEchoOnEdit);
}

void RemoteSettingsSection::setUpMidi(const Preferences& preferences,
                                      const RemoteSettingsServices::Status& status) {
    m_midiInput->setAccessibleName(QStringLiteral("MIDI 입력"));
    m_midiInput->addItem(QStringLiteral("사용 안 함"), QString());
    for (const auto& port : status.midiInputs)
        m_midiInput->addItem(QString::fromStdString(port), QString::fromStdString(port));
    const QString chosenInput = QString::fromStdString(preferences.midiInput);
    if (!chosenInput.isEmpty() && m_midiInput->findData(chosenInput) < 0)
        m_midiInput->addItem(QStringLiteral("%1 (연결되지 않음)").arg(chosenInput), chosenInput);
    m_midiInput->setCurrentIndex(std::max(0, m_midiInput->findData(chosenInput)));

    m_learnTarget->setAccessibleName(QStringLiteral("학습할 동작"));
    for (int cue = 1; cue <= 12; ++cue)
        m_learnTarget->addItem(targetTitle("cue" + std::to_string(cue)),
                               QStringLiteral("cue%1").arg(cue));
    for (const char* target : {"pause", "stop", "fade"})
        m_learnTarget->addItem(targetTitle(target), QString::fromLatin1(target));
    m_learnButton->setCheckable(true);
    m_learnButton->setEnabled(static_cast<bool>(m_services.startLearning));
    connect(m_learnButton, &QPushButton::toggled, this, [this](bool on) {
        if (on)
            learn();
        else if (m_services.cancelLearning)
            m_services.cancelLearning();
    });
    m_mappingList->setObjectName(QStringLiteral("midiMappings"));
}

void RemoteSettingsSection::setUpMirrors(const Preferences& preferences) {
    m_mirrors->setObjectName(QStringLiteral("mirrorTargets"));
    m_mirrors->setHorizontalHeaderLabels(
        {QStringLiteral("주소 (호스트:포트)"), QStringLiteral("암호")});
    m_mirrors->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    m_mirrors->verticalHeader()->hide();
    m_mirrors->setMaximumHeight(110);
    for (const auto& target : preferences.mirrorTargets) {
        const int row = m_mirrors->rowCount();
        m_mirrors->insertRow(row);
        m_mirrors->setItem(row, 0, new QTableWidgetItem(QString::fromStdString(target.address)));
        m_mirrors->setItem(row, 1, new QTableWidgetItem(QString::fromStdString(target.passcode)));
    }
    m_addMirror = new QPushButton(QStringLiteral("백업 컴퓨터 추가"), this);
    m_removeMirror = new QPushButton(QStringLiteral("선택한 백업 삭제"), this);
    connect(m_addMirror, &QPushButton::clicked, this, [this] {
        m_mirrors->insertRow(m_mirrors->rowCount());
        m_mirrors->editItem(nullptr);
    });
    connect(m_removeMirror, &QPushButton::clicked, this, [this] {
        if (m_mirrors->currentRow() >= 0)
            m_mirrors->removeRow(m_mirrors->currentRow());
    });
}

void RemoteSettingsSection::layOut(const RemoteSettingsServices::Status& status) {
    auto* learnRow = new QHBoxLayout;
    learnRow->addWidget(m_learnTarget, 1);
    learnRow->addWidget(m_learnButton);
    auto* mirrorButtons = new QHBoxLayout;
    mirrorButtons->addWidget(m_addMirror);
    mirrorButtons->addWidget(m_removeMirror);
    mirrorButtons->addStretch(1);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("OSC"), m_oscEnabled);
    form->addRow(QStringLiteral("포트"), m_oscPort);
    form->addRow(QString(), m_fromNetwork);
    form->addRow(QStringLiteral("암호"), m_passcode);
    auto* oscStatus = statusLine(this);
    oscStatus->setText(QString::fromStdString(status.osc));
    form->addRow(QString(), oscStatus);
    form->addRow(QStringLiteral("MIDI 입력"), m_midiInput);
    auto* midiStatus = statusLine(this);
    midiStatus->setObjectName(QStringLiteral("midiStatus"));
    midiStatus->setText(QString::fromStdString(status.midi));
    form->addRow(QString(), midiStatus);
    form->addRow(QStringLiteral("MIDI 학습"), learnRow);
    form->addRow(QString(), m_mappingList);
    form->addRow(QStringLiteral("백업 컴퓨터"), m_mirrors);
    form->addRow(QString(), mirrorButtons);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(form);
    layout->addWidget(m_problem);
    showMappings();
}

RemoteSettingsSection::~RemoteSettingsSection() {
    // A learn left running would take the next pad press away from the show.
    if (m_learnButton->isChecked() && m_services.cancelLearning)
        m_services.cancelLearning();
}

void RemoteSettingsSection::learn() {
    const std::string target = m_learnTarget->currentData().toString().toStdString();
    m_mappingList->setText(
        QStringLiteral("%1에 쓸 패드를 누르거나 컨트롤러를 올리세요…").arg(targetTitle(target)));
    m_services.startLearning(
        target, [self = QPointer<RemoteSettingsSection>(this)](const MidiMapping& learned) {
            if (!self)
                return;
            self->m_mappings = self->m_services.withLearned
                                   ? self->m_services.withLearned(self->m_mappings, learned)
                                   : self->m_mappings;
            const QSignalBlocker blocker(self->m_learnButton);
            self->m_learnButton->setChecked(false);
            self->showMappings();
        });
}

void RemoteSettingsSection::showMappings() {
    QStringList lines;
    for (const auto& mapping : m_mappings)
        lines << QStringLiteral("%1: %2").arg(targetTitle(mapping.target), messageText(mapping));
    m_mappingList->setText(lines.isEmpty() ? QStringLiteral("연결된 MIDI 메시지가 없습니다.")
                                           : lines.join(QStringLiteral("\n")));
}

void RemoteSettingsSection::writeInto(Preferences& preferences) const {
    preferences.oscEnabled = m_oscEnabled->isChecked();
    preferences.oscPort = m_oscPort->value();
    preferences.oscFromNetwork = m_fromNetwork->isChecked();
    preferences.oscPasscode = m_passcode->text().toStdString();
    preferences.midiInput = m_midiInput->currentData().toString().toStdString();
    preferences.midiMappings = m_mappings;
    preferences.mirrorTargets.clear();
    for (int row = 0; row < m_mirrors->rowCount(); ++row) {
        const auto text = [this, row](int column) {
            const auto* item = m_mirrors->item(row, column);
            return item ? item->text().trimmed().toStdString() : std::string();
        };
        if (!text(0).empty() || !text(1).empty())
            preferences.mirrorTargets.push_back({text(0), text(1)});
    }
}

std::optional<std::string> RemoteSettingsSection::check(const Preferences& preferences) {
    std::optional<std::string> problem =
        m_services.validate ? m_services.validate(preferences) : std::nullopt;
    m_problem->setText(problem ? QString::fromStdString(*problem) : QString());
    m_problem->setVisible(problem.has_value());
    return problem;
}

}  // namespace tavrel
