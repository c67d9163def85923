#include "ui/cue_editor_view.h"

#include <cmath>

#include <QCoreApplication>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QSlider>
#include <QVBoxLayout>

#include "store/cue_store.h"
#include "ui/cue_editor_media_row.h"
#include "ui/cue_editor_seconds_format.h"
#include "ui/cue_editor_waveform.h"
#include "ui/file_chooser.h"
#include "ui/loop_media_types.h"
#include "ui/loop_panel_style.h"
#include "ui/tavrel_theme.h"

namespace tavrel {

namespace {

constexpr int sheetWidth = 560;
constexpr double minimumGainDB = CueSlot::minimumGainDB;
constexpr double maximumGainDB = CueSlot::maximumGainDB;
// The slider works in half decibels.
constexpr int gainStepsPerDB = 2;

const char* const fieldStyle = R"(
QLineEdit { background: @fill; border: 1px solid @stroke;
            border-radius: 6px; padding: 5px 8px; selection-background-color: @accentSoft; }
QLineEdit:focus { border: 1px solid @accentStrong; }
QLineEdit[invalid="true"] { border: 2px solid @red; }
)";

QLineEdit* textField(const QString& text, QWidget* parent) {
    auto* field = new QLineEdit(text, parent);
    field->setStyleSheet(palette::themed(QString::fromUtf8(fieldStyle)));
    field->setFont(fonts::body());
    return field;
}

QLabel* formLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setFont(fonts::body());
    return label;
}

// The image's pixel size, read from its header; empty when it cannot be read.
QString imageSizeText(const std::optional<std::filesystem::path>& file) {
    std::error_code error;
    // Only a regular file: opening a FIFO would wait for a writer.
    if (!file || !std::filesystem::is_regular_file(std::filesystem::symlink_status(*file, error)))
        return {};
    QImageReader reader(QString::fromStdU16String(file->u16string()));
    reader.setAutoTransform(true);
    QSize size = reader.size();
    if (!size.isValid())
        return {};
    if (reader.transformation() & QImageIOHandler::TransformationRotate90)
        size.transpose();
    return QStringLiteral("%1 × %2 픽셀").arg(size.width()).arg(size.height());
}

void setInvalid(QWidget* field, bool invalid) {
    if (field->property("invalid").toBool() == invalid)
        return;
    field->setProperty("invalid", invalid);
    field->setStyleSheet(field->styleSheet());  // re-evaluates the property selector
}

QString gainText(double gainDB) {
    return QString::asprintf("큐 게인 %.1f dB", gainDB);
}

int gainSliderValue(double gainDB) {
    return static_cast<int>(std::lround(CueSlot::sanitizedGainDB(gainDB) * gainStepsPerDB));
}

}  // namespace

CueEditorView::CueEditorView(const CueSlot& slot, std::shared_ptr<CueStore> store,
                             FileChooser& fileChooser, AudioOverviewReading readOverview,
                             QWidget* parent)
    : QDialog(parent),
      m_draft(slot),
      m_store(std::move(store)),
      m_fileChooser(fileChooser),
      m_readOverview(std::move(readOverview)) {
    setObjectName(QStringLiteral("cueEditorSheet"));
    setWindowTitle(QStringLiteral("큐 편집"));
    setWindowModality(Qt::WindowModal);
    setFixedWidth(sheetWidth);
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, QColor::fromRgbF(0.07f, 0.12f, 0.19f));
    setPalette(colours);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->setSpacing(16);

    m_heading = new QLabel(QStringLiteral("큐 %1 편집").arg(m_draft.id + 1), this);
    QFont headingFont = fonts::largeTitle();
    headingFont.setPixelSize(20);
    m_heading->setFont(headingFont);
    layout->addWidget(m_heading);
    layout->addWidget(makeForm());

    m_errorLabel = new QLabel(this);
    m_errorLabel->setObjectName(QStringLiteral("cueEditorError"));
    m_errorLabel->setFont(fonts::caption());
    m_errorLabel->setWordWrap(true);
    m_errorLabel->setTextFormat(Qt::PlainText);
    setForeground(m_errorLabel, palette::red());
    layout->addWidget(m_errorLabel);
    layout->addWidget(makeButtons());

    // Quitting closes no dialog; the imports must still go.
    connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this,
            [this] { leave(); });
    m_playbackSubscription = m_store->playback().subscribe([this] { refreshAudition(); });
    refresh();
}

CueEditorView::~CueEditorView() {
    leave();
}

QWidget* CueEditorView::makeForm() {
    auto* form = new QWidget(this);
    auto* rows = new QFormLayout(form);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setHorizontalSpacing(14);
    rows->setVerticalSpacing(10);
    rows->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    rows->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);

    m_title = textField(QString::fromStdString(m_draft.title), form);
    connect(m_title, &QLineEdit::textEdited, this,
            [this](const QString& text) { m_draft.title = text.toStdString(); });
    rows->addRow(formLabel(QStringLiteral("제목"), form), m_title);

    m_usage = textField(QString::fromStdString(m_draft.usage), form);
    connect(m_usage, &QLineEdit::textEdited, this,
            [this](const QString& text) { m_draft.usage = text.toStdString(); });
    rows->addRow(formLabel(QStringLiteral("사용처"), form), m_usage);

    m_audioRow = new CueEditorMediaRow(
        isAudioFile, [this] { chooseAudioFile(); },
        [this](const std::filesystem::path& file) {
            importFile(file, "audio",
                       [this](const std::string& name) { m_draft.audioFilename = name; });
        },
        form);
    rows->addRow(formLabel(QStringLiteral("음원"), form), m_audioRow);

    m_imageRow = new CueEditorMediaRow(
        isImageFile, [this] { chooseImageFile(); },
        [this](const std::filesystem::path& file) {
            importFile(file, "image",
                       [this](const std::string& name) { m_draft.imageFilename = name; });
        },
        form);
    rows->addRow(formLabel(QStringLiteral("이미지"), form), m_imageRow);

    m_waveform = new CueEditorWaveform(form);
    m_waveform->setStartSeconds(m_draft.startSeconds);
    connect(m_waveform, &CueEditorWaveform::startSecondsPicked, this, [this](double seconds) {
        m_startSeconds->setText(formatStartSeconds(seconds));
        takeStartSecondsText();
    });
    rows->addRow(QString(), m_waveform);
    rows->addRow(formLabel(QStringLiteral("시작 초"), form), makeStartSecondsRow(form));

    rows->addRow(QString(), makeGainColumn(form));
    return form;
}

QWidget* CueEditorView::makeGainColumn(QWidget* form) {
    auto* gain = new QWidget(form);
    auto* gainColumn = new QVBoxLayout(gain);
    gainColumn->setContentsMargins(0, 4, 0, 0);
    gainColumn->setSpacing(4);
    m_gainLabel = new QLabel(gain);
    m_gainLabel->setFont(fonts::body());
    gainColumn->addWidget(m_gainLabel);
    m_gainSlider = new QSlider(Qt::Horizontal, gain);
    m_gainSlider->setRange(static_cast<int>(minimumGainDB * gainStepsPerDB),
                           static_cast<int>(maximumGainDB * gainStepsPerDB));
    m_gainSlider->setSingleStep(1);  // the arrow keys: half a decibel
    m_gainSlider->setPageStep(gainStepsPerDB);
    m_gainSlider->setFocusPolicy(Qt::StrongFocus);
    m_gainSlider->setAccessibleName(QStringLiteral("큐 게인"));
    m_gainSlider->setValue(gainSliderValue(m_draft.gainDB));
    styleSlider(m_gainSlider, palette::accent());
    connect(m_gainSlider, &QSlider::valueChanged, this, [this](int value) {
        m_draft.gainDB = static_cast<double>(value) / gainStepsPerDB;
        refresh();
    });
    gainColumn->addWidget(m_gainSlider);
    return gain;
}

QWidget* CueEditorView::makeStartSecondsRow(QWidget* form) {
    auto* seconds = new QWidget(form);
    auto* secondsRow = new QHBoxLayout(seconds);
    secondsRow->setContentsMargins(0, 0, 0, 0);
    secondsRow->setSpacing(8);
    m_startSeconds = textField(formatStartSeconds(m_draft.startSeconds), seconds);
    m_startSeconds->setFixedWidth(120);
    m_startSeconds->setAlignment(Qt::AlignRight);
    connect(m_startSeconds, &QLineEdit::textEdited, this, [this] { takeStartSecondsText(); });
    // A number is shown as it will be saved; other text stays, marked, for correction.
    connect(m_startSeconds, &QLineEdit::editingFinished, this, [this] {
        if (m_startSecondsValid)
            m_startSeconds->setText(formatStartSeconds(m_draft.startSeconds));
    });
    secondsRow->addWidget(m_startSeconds);
    auto* unit = new QLabel(QStringLiteral("초"), seconds);
    setForeground(unit, palette::secondary());
    secondsRow->addWidget(unit);
    m_startSecondsHint = new QLabel(QStringLiteral("숫자로 입력하세요 (예: 1.5)"), seconds);
    m_startSecondsHint->setObjectName(QStringLiteral("startSecondsHint"));
    m_startSecondsHint->setFont(fonts::caption());
    setForeground(m_startSecondsHint, palette::red());
    m_startSecondsHint->hide();
    secondsRow->addWidget(m_startSecondsHint);
    secondsRow->addStretch(1);
    m_auditionButton = new QPushButton(seconds);
    m_auditionButton->setObjectName(QStringLiteral("auditionButton"));
    m_auditionButton->setAutoDefault(false);
    styleBorderedButton(m_auditionButton, palette::accent());
    connect(m_auditionButton, &QPushButton::clicked, this, &CueEditorView::toggleAudition);
    secondsRow->addWidget(m_auditionButton);
    return seconds;
}

QWidget* CueEditorView::makeButtons() {
    auto* buttons = new QWidget(this);
    auto* row = new QHBoxLayout(buttons);
    row->setContentsMargins(0, 4, 0, 0);
    row->setSpacing(10);

    m_clearButton = new QPushButton(QStringLiteral("슬롯 비우기"), buttons);
    m_clearButton->setAutoDefault(false);
    styleBorderedButton(m_clearButton, palette::red());
    connect(m_clearButton, &QPushButton::clicked, this, &CueEditorView::confirmClear);
    row->addWidget(m_clearButton);
    row->addStretch(1);

    m_cancelButton = new QPushButton(QStringLiteral("취소"), buttons);
    m_cancelButton->setAutoDefault(false);
    styleBorderedButton(m_cancelButton, palette::label());
    connect(m_cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    row->addWidget(m_cancelButton);

    m_saveButton = new QPushButton(QStringLiteral("저장"), buttons);
    styleProminentButton(m_saveButton);
    m_saveButton->setDefault(true);
    connect(m_saveButton, &QPushButton::clicked, this, &CueEditorView::save);
    row->addWidget(m_saveButton);
    return buttons;
}

void CueEditorView::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!m_didLeave)
        m_store->setEditorPresented(true);
    fitHeight();
}

void CueEditorView::save() {
    takeStartSecondsText();
    if (!m_startSecondsValid)
        return;
    m_draft.startSeconds = CueSlot::sanitizedStartSeconds(m_draft.startSeconds);
    m_draft.gainDB = CueSlot::sanitizedGainDB(m_draft.gainDB);
    m_startSeconds->setText(formatStartSeconds(m_draft.startSeconds));
    {
        const QSignalBlocker blocker(m_gainSlider);
        m_gainSlider->setValue(gainSliderValue(m_draft.gainDB));
    }
    refresh();
    // A failed save is reported by the store; the editor stays for a retry or a cancel.
    if (!m_store->replace(m_draft, m_sessionImportedFilenames))
        return;
    m_didCommit = true;
    accept();
}

void CueEditorView::confirmClear() {
    if (m_clearConfirmation)
        return;
    auto* box = new QMessageBox(this);
    box->setObjectName(QStringLiteral("cueEditorClearConfirmation"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->setIcon(QMessageBox::Warning);
    box->setWindowTitle(QStringLiteral("이 슬롯을 비울까요?"));
    box->setText(QStringLiteral("이 슬롯을 비울까요?"));
    box->setInformativeText(
        QStringLiteral("다른 슬롯에서 사용하지 않는 음원·이미지 복사본도 정리됩니다."));
    QPushButton* clearSlot =
        box->addButton(QStringLiteral("슬롯 비우기"), QMessageBox::DestructiveRole);
    QPushButton* cancel = box->addButton(QStringLiteral("취소"), QMessageBox::RejectRole);
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    connect(box, &QMessageBox::buttonClicked, this, [this, clearSlot](QAbstractButton* button) {
        if (button == clearSlot)
            clear();
    });
    m_clearConfirmation = box;
    box->open();
}

void CueEditorView::clear() {
    if (!m_store->replace(CueSlot::empty(m_draft.id), m_sessionImportedFilenames))
        return;
    m_didCommit = true;
    accept();
}

void CueEditorView::chooseAudioFile() {
    chooseFile(QStringLiteral("음원 선택"), audioPanelFilters(), FileKind::audio,
               [this](const std::filesystem::path& file) {
                   importFile(file, "audio",
                              [this](const std::string& name) { m_draft.audioFilename = name; });
               });
}

void CueEditorView::chooseImageFile() {
    chooseFile(QStringLiteral("이미지 선택"), imagePanelFilters(), FileKind::image,
               [this](const std::filesystem::path& file) {
                   importFile(file, "image",
                              [this](const std::string& name) { m_draft.imageFilename = name; });
               });
}

void CueEditorView::chooseFile(const QString& title, const QStringList& filters, FileKind kind,
                               std::function<void(const std::filesystem::path&)> completion) {
    OpenPanelOptions options{
        .title = title,
        .prompt = QStringLiteral("가져오기"),
        .canChooseFiles = true,
        .canChooseDirectories = false,
        .allowsMultipleSelection = false,
        .nameFilters = filters,
        .kind = kind,
    };
    // The sheet stays presented under its panel, so the cue keys stay off.
    QPointer<CueEditorView> self(this);
    m_fileChooser.chooseToOpen(
        this, options,
        [self, completion = std::move(completion)](std::vector<std::filesystem::path> files) {
            // A file confirmed after the editor went away would be an orphan copy.
            if (!self || self->m_didLeave || files.empty())
                return;
            completion(files.front());
        });
}

void CueEditorView::importFile(const std::filesystem::path& url, const std::string& kind,
                               const std::function<void(const std::string&)>& assign) {
    try {
        const std::string name = m_store->importFile(url, kind);
        m_sessionImportedFilenames.insert(name);
        assign(name);
        m_localError.reset();
    } catch (const std::exception& error) {
        m_localError = QString::fromStdString(error.what());
    }
    refresh();
}

void CueEditorView::takeStartSecondsText() {
    const auto seconds = parseStartSeconds(m_startSeconds->text());
    if (seconds && *seconds != m_draft.startSeconds) {
        m_draft.startSeconds = *seconds;
        // What sounds no longer starts where the cue will.
        m_store->stopAudition();
        m_waveform->setStartSeconds(*seconds);
    }
    m_startSecondsValid = seconds.has_value();
    setInvalid(m_startSeconds, !m_startSecondsValid);
    m_startSecondsHint->setVisible(!m_startSecondsValid);
    m_saveButton->setEnabled(m_startSecondsValid);
    refreshAudition();
}

void CueEditorView::toggleAudition() {
    if (m_store->isAuditioning()) {
        m_store->stopAudition();
        return;
    }
    takeStartSecondsText();
    if (!m_startSecondsValid || !m_draft.audioFilename)
        return;
    if (const auto failure = m_store->audition(m_draft)) {
        m_localError = QString::fromStdString(*failure);
        refresh();
    }
    refreshAudition();
}

void CueEditorView::refreshAudition() {
    const bool sounding = m_store->isAuditioning();
    m_auditionButton->setText(sounding ? QStringLiteral("미리 듣기 중지")
                                       : QStringLiteral("미리 듣기"));
    m_auditionButton->setEnabled(sounding ||
                                 (m_draft.audioFilename.has_value() && m_startSecondsValid));
}

void CueEditorView::refreshAudioOverview() {
    if (m_overviewAudio == m_draft.audioFilename)
        return;
    m_overviewAudio = m_draft.audioFilename;
    m_store->stopAudition();
    // A late answer about the previous file goes with its request.
    m_overviewRequest.reset();
    m_audioRow->setDetail({});
    m_waveform->setPeaks({}, 0.0);
    const auto url = m_store->audioURL(m_draft);
    if (!url || !m_readOverview) {
        m_waveform->setPlaceholder(url ? QString() : QStringLiteral("음원 없음"));
        return;
    }
    m_waveform->setPlaceholder(QStringLiteral("파형을 읽는 중…"));
    m_overviewRequest = m_readOverview(*url, [this](const AudioOverview& overview) {
        m_audioRow->setDetail(audioDetailText(overview));
        m_waveform->setPeaks(overview.peaks, overview.durationSeconds);
        if (overview.formatName.empty())
            m_waveform->setPlaceholder(QStringLiteral("파형을 읽을 수 없습니다"));
    });
}

void CueEditorView::refreshImageDetail() {
    if (m_detailedImage == m_draft.imageFilename)
        return;
    m_detailedImage = m_draft.imageFilename;
    m_imageRow->setDetail(imageSizeText(m_store->imageURL(m_draft)));
}

void CueEditorView::refresh() {
    m_audioRow->setFilename(m_draft.audioFilename);
    refreshAudioOverview();
    m_imageRow->setFilename(m_draft.imageFilename);
    refreshImageDetail();
    refreshAudition();
    m_gainLabel->setText(gainText(m_draft.gainDB));
    const bool showsError = m_localError.has_value();
    m_errorLabel->setText(m_localError.value_or(QString()));
    if (m_errorLabel->isVisibleTo(this) != showsError) {
        m_errorLabel->setVisible(showsError);
        fitHeight();
    }
}

void CueEditorView::fitHeight() {
    QLayout* rows = layout();
    rows->activate();
    const int height = rows->hasHeightForWidth() ? rows->totalHeightForWidth(sheetWidth)
                                                 : rows->totalSizeHint().height();
    setFixedHeight(height);
}

void CueEditorView::done(int result) {
    leave();
    QDialog::done(result);
}

void CueEditorView::leave() {
    if (m_didLeave)
        return;
    m_didLeave = true;
    m_playbackSubscription.reset();
    m_overviewRequest.reset();
    m_store->stopAudition();
    if (!m_didCommit)
        m_store->discardSessionImports(m_sessionImportedFilenames);
    m_store->setEditorPresented(false);
}

CueEditorPresenter cueEditorPresenter(std::shared_ptr<CueStore> store, FileChooser& fileChooser,
                                      AudioOverviewReading readOverview) {
    return [store = std::move(store), &fileChooser, readOverview = std::move(readOverview)](
               QWidget* parent, const CueSlot& slot, std::function<void()> onClosed) {
        auto* editor = new CueEditorView(slot, store, fileChooser, readOverview, parent);
        editor->setAttribute(Qt::WA_DeleteOnClose);
        QObject::connect(editor, &QDialog::finished, editor, [onClosed = std::move(onClosed)](int) {
            if (onClosed)
                onClosed();
        });
        editor->open();
    };
}

}  // namespace tavrel
