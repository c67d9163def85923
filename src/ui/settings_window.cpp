#include "ui/settings_window.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "store/cue_store.h"
#include "ui/tavrel_theme.h"

namespace tavrel {

namespace {

QLabel* sectionTitle(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setFont(fonts::headline());
    return label;
}

}  // namespace

SettingsWindow::SettingsWindow(std::shared_ptr<CueStore> store, SettingsServices services,
                               QWidget* parent)
    : QDialog(parent),
      m_store(std::move(store)),
      m_services(std::move(services)),
      m_draft(m_store->preferences()),
      m_outputBox(new QComboBox(this)),
      m_outputNote(new QLabel(this)),
      m_latencyGroup(new QButtonGroup(this)),
      m_fadeBox(new QDoubleSpinBox(this)),
      m_remote(new RemoteSettingsSection(m_draft, m_services.remote, this)) {
    setWindowTitle(QStringLiteral("설정"));
    setObjectName(QStringLiteral("settingsWindow"));
    m_outputBox->setAccessibleName(QStringLiteral("출력 장치"));
    m_outputNote->setObjectName(QStringLiteral("outputNote"));
    m_outputNote->setWordWrap(true);
    m_outputNote->setStyleSheet(
        QStringLiteral("color: %1;").arg(palette::orange().name(QColor::HexRgb)));

    auto* stable = new QRadioButton(QStringLiteral("안정 (약 20 ms, 기본)"), this);
    auto* low = new QRadioButton(QStringLiteral("저지연 (약 10 ms)"), this);
    stable->setAccessibleName(QStringLiteral("안정"));
    low->setAccessibleName(QStringLiteral("저지연"));
    m_latencyGroup->addButton(stable, static_cast<int>(LatencyPreset::stable));
    m_latencyGroup->addButton(low, static_cast<int>(LatencyPreset::low));
    (m_draft.latencyPreset == LatencyPreset::low ? low : stable)->setChecked(true);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("출력"), m_outputBox);
    form->addRow(QString(), m_outputNote);
    auto* latency = new QVBoxLayout;
    latency->addWidget(stable);
    latency->addWidget(low);
    form->addRow(QStringLiteral("지연 시간"), latency);
    m_fadeBox->setRange(Preferences::minimumFadeSeconds, Preferences::maximumFadeSeconds);
    m_fadeBox->setDecimals(2);
    m_fadeBox->setSingleStep(0.5);
    m_fadeBox->setSuffix(QStringLiteral(" 초"));
    m_fadeBox->setAccessibleName(QStringLiteral("페이드 아웃 시간"));
    m_fadeBox->setValue(m_draft.fadeSeconds);
    form->addRow(QStringLiteral("페이드 아웃 시간"), m_fadeBox);

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("취소"), QDialogButtonBox::RejectRole);
    auto* save = buttons->addButton(QStringLiteral("저장"), QDialogButtonBox::AcceptRole);
    save->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &SettingsWindow::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(sectionTitle(QStringLiteral("오디오 출력"), this));
    layout->addLayout(form);
    layout->addSpacing(12);
    layout->addWidget(sectionTitle(QStringLiteral("원격 제어"), this));
    layout->addWidget(m_remote);
    layout->addStretch(1);
    layout->addWidget(buttons);
    setMinimumWidth(480);
    fillOutputs();
}

void SettingsWindow::fillOutputs() {
    const std::vector<OutputEntry> outputs =
        m_services.listOutputs ? m_services.listOutputs() : std::vector<OutputEntry>{};
    m_outputBox->addItem(QStringLiteral("기본 출력"), QString());
    bool chosenPresent = m_draft.outputDevice.empty();
    for (const auto& output : outputs) {
        const QString name = QString::fromStdString(output.name);
        const QString description = QString::fromStdString(output.description);
        m_outputBox->addItem(description.isEmpty() ? name : description, name);
        chosenPresent = chosenPresent || output.name == m_draft.outputDevice;
    }
    const QString chosen = QString::fromStdString(m_draft.outputDevice);
    if (!chosenPresent) {
        // Kept selectable so saving other settings does not forget the operator's choice.
        m_outputBox->addItem(QStringLiteral("%1 (연결되지 않음)").arg(chosen), chosen);
        m_outputNote->setText(
            QStringLiteral("선택한 출력 \"%1\"을(를) 찾을 수 없어 기본 출력으로 재생합니다. "
                           "다시 연결되면 그 출력으로 돌아갑니다.")
                .arg(chosen));
    }
    m_outputNote->setVisible(!chosenPresent);
    m_outputBox->setCurrentIndex(std::max(0, m_outputBox->findData(chosen)));
}

Preferences SettingsWindow::editedPreferences() const {
    Preferences edited = m_draft;
    edited.outputDevice = m_outputBox->currentData().toString().toStdString();
    edited.latencyPreset = static_cast<LatencyPreset>(m_latencyGroup->checkedId());
    edited.fadeSeconds = m_fadeBox->value();
    m_remote->writeInto(edited);
    return edited;
}

void SettingsWindow::accept() {
    // Refused settings and a failed write leave the window open, saying why.
    const Preferences edited = editedPreferences();
    if (m_remote->check(edited))
        return;
    if (m_store->setPreferences(edited))
        QDialog::accept();
}

void SettingsWindow::present(std::shared_ptr<CueStore> store, SettingsServices services,
                             QWidget* parent) {
    auto* window = new SettingsWindow(std::move(store), std::move(services), parent);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowModality(Qt::WindowModal);
    window->open();
}

}  // namespace tavrel
