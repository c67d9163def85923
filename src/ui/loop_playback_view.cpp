#include "ui/loop_playback_view.h"

#include "ui/now_playing.h"

#include <cmath>

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QShowEvent>
#include <QSlider>
#include <QVBoxLayout>

#include <QMessageBox>
#include "store/cue_store.h"

#include "ui/error_alert.h"
#include "ui/file_chooser.h"
#include "ui/loop_duration_picker.h"
#include "ui/loop_media_types.h"
#include "ui/loop_panel_style.h"
#include "ui/loop_track_list.h"
#include "ui/master_volume_slider.h"
#include "ui/now_playing.h"
#include "ui/symbol_icon.h"
#include "ui/tavrel_theme.h"
#include "ui/transport_button.h"

namespace tavrel {

namespace {

// The thin material box behind the duration and transport controls.
class LoopControlBox : public QWidget {
public:
    explicit LoopControlBox(QWidget* parent) : QWidget(parent) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        painter.setBrush(palette::fill());
        painter.setPen(QPen(palette::withOpacity(palette::label(), 0.08), 1));
        painter.drawRoundedRect(frame, 16, 16);
    }
};

}  // namespace

LoopPlaybackView::LoopPlaybackView(std::shared_ptr<CueStore> store, FileChooser& fileChooser,
                                   QWidget* parent)
    : TavrelBackdrop(parent), m_store(std::move(store)), m_fileChooser(fileChooser) {
    setObjectName(QStringLiteral("loopPlaybackView"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(16);
    layout->addWidget(makeHeader());
    layout->addWidget(makeControlBox());
    layout->addWidget(makeTrackList(), 1);
    layout->addWidget(makeFooter());
    m_errorAlert = new ErrorAlert(m_store, this);

    m_storeSubscription = m_store->subscribe([this] { refresh(); });
    m_playbackSubscription = m_store->playback().subscribe([this] { refresh(); });
    refresh();
}

LoopPlaybackView::~LoopPlaybackView() = default;

QWidget* LoopPlaybackView::makeHeader() {
    auto* header = new QWidget(this);
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(12);

    auto* badge = new QLabel(header);
    badge->setFixedSize(46, 46);
    badge->setAlignment(Qt::AlignCenter);
    badge->setPixmap(symbolPixmap(Symbol::repeat, loopPurple(), 28, devicePixelRatioF()));
    badge->setStyleSheet(QStringLiteral("background: %1; border-radius: 12px;")
                             .arg(loopPurple(0.12).name(QColor::HexArgb)));
    row->addWidget(badge);

    auto* titles = new QVBoxLayout;
    titles->setSpacing(3);
    auto* title = new QLabel(QStringLiteral("반복 재생"), header);
    title->setFont(fonts::largeTitle());
    titles->addWidget(title);
    auto* line =
        new QLabel(QStringLiteral("시작 시 선택한 곡을 당시 목록 순서대로 반복합니다."), header);
    line->setFont(fonts::body());
    setForeground(line, palette::secondary());
    titles->addWidget(line);
    row->addLayout(titles);
    row->addStretch(1);

    m_addButton = new QPushButton(QStringLiteral("MP3 추가…"), header);
    m_addButton->setObjectName(QStringLiteral("loopAddButton"));
    styleProminentButton(m_addButton);
    connect(m_addButton, &QPushButton::clicked, this, &LoopPlaybackView::chooseLoopTracks);
    row->addWidget(m_addButton);
    return header;
}

QWidget* LoopPlaybackView::makeControlBox() {
    auto* box = new LoopControlBox(this);
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(14, 12, 14, 12);
    // Four buttons beside the picker fit the window's minimum width only so.
    row->setSpacing(12);

    auto* pickerColumn = new QVBoxLayout;
    pickerColumn->setSpacing(5);
    auto* pickerLabel = new QLabel(QStringLiteral("반복 시간"), box);
    pickerLabel->setFont(fonts::caption());
    setForeground(pickerLabel, palette::secondary());
    pickerColumn->addWidget(pickerLabel);
    m_picker = new LoopDurationPicker(box);
    m_picker->setOnPicked([this](LoopDuration duration) {
        m_duration = duration;
        refresh();
    });
    pickerColumn->addWidget(m_picker);
    // Under the picker, not beside it: the row has no width to spare at the
    // window's minimum size.
    m_status = new QLabel(box);
    m_status->setObjectName(QStringLiteral("loopStatus"));
    pickerColumn->addWidget(m_status);
    row->addLayout(pickerColumn);
    row->addStretch(1);

    m_startButton = new TransportButton(QString(), Symbol::play, palette::green(), box);
    connect(m_startButton, &TransportButton::clicked, this, &LoopPlaybackView::start);
    m_pauseButton = new TransportButton(QString(), Symbol::pause, palette::orange(), box);
    connect(m_pauseButton, &TransportButton::clicked, this, [this] { m_store->togglePause(); });
    m_stopButton = new TransportButton(QStringLiteral("중지"), Symbol::stop, palette::red(), box);
    connect(m_stopButton, &TransportButton::clicked, this, [this] { m_store->stopPlayback(); });
    m_fadeButton =
        new TransportButton(QStringLiteral("페이드"), Symbol::speakerLow, palette::blue(), box);
    m_fadeButton->setAccessibleName(QStringLiteral("페이드 아웃"));
    connect(m_fadeButton, &TransportButton::clicked, this, [this] { m_store->fadeOut(); });
    row->addWidget(m_startButton);
    row->addWidget(m_pauseButton);
    row->addWidget(m_stopButton);
    row->addWidget(m_fadeButton);
    return box;
}

QWidget* LoopPlaybackView::makeTrackList() {
    m_trackList = new LoopTrackList(
        {
            .checkToggled = [this](const Uuid& id, bool checked) { setTrackSelected(id, checked); },
            .move =
                [this](std::size_t position, std::size_t destination) {
                    m_store->moveLoopTracks({position}, destination);
                },
            .deleteRows = [this](const std::set<std::size_t>& positions) { deleteRows(positions); },
            .addFiles =
                [this](const std::vector<std::filesystem::path>& files) {
                    if (!m_store->loopPlayback())
                        m_store->addLoopTracks(files);
                },
        },
        this);
    return m_trackList;
}

QWidget* LoopPlaybackView::makeFooter() {
    auto* footer = new QWidget(this);
    auto* row = new QHBoxLayout(footer);
    row->setContentsMargins(4, 0, 4, 0);
    row->setSpacing(14);

    m_nowPlaying = new QLabel(footer);
    m_nowPlaying->setObjectName(QStringLiteral("loopNowPlaying"));
    m_nowPlaying->setFont(fonts::headline());
    m_nowPlaying->setTextFormat(Qt::PlainText);
    row->addWidget(m_nowPlaying, 1);

    m_volumeLabel = new QLabel(footer);
    QFont volumeFont = fonts::caption();
    volumeFont.setBold(true);
    m_volumeLabel->setFont(volumeFont);
    row->addWidget(m_volumeLabel);

    m_volumeSlider = new MasterVolumeSlider(m_store, loopPurple(), 180, footer);
    m_volumeSlider->setObjectName(QStringLiteral("loopVolumeSlider"));
    row->addWidget(m_volumeSlider);
    return footer;
}

void LoopPlaybackView::sectionShown() {
    m_selectedTrackIDs.clear();
    m_duration = LoopDuration::tenMinutes;
    refresh();
}

void LoopPlaybackView::showEvent(QShowEvent* event) {
    TavrelBackdrop::showEvent(event);
    // A window coming back from being minimised is not a new visit.
    if (!event->spontaneous())
        sectionShown();
}

bool LoopPlaybackView::isCurrentTrack(const LoopTrack& track) const {
    return m_store->activeLoopTrackID() == track.id && !m_store->playback().state().isStopped();
}

void LoopPlaybackView::chooseLoopTracks() {
    OpenPanelOptions options{
        .title = QStringLiteral("반복 재생 MP3 추가"),
        .prompt = QStringLiteral("추가"),
        .canChooseFiles = true,
        .canChooseDirectories = false,
        .allowsMultipleSelection = true,
        .nameFilters = audioPanelFilters(),
        .kind = FileKind::audio,
    };
    QPointer<LoopPlaybackView> self(this);
    m_fileChooser.chooseToOpen(this, options, [self](std::vector<std::filesystem::path> files) {
        // The store refuses the addition by itself if a run started meanwhile.
        if (self && !files.empty())
            self->m_store->addLoopTracks(files);
    });
}

void LoopPlaybackView::deleteRows(const std::set<std::size_t>& positions) {
    if (m_store->loopPlayback())
        return;
    const auto& tracks = m_store->document().loopTracks;
    for (const std::size_t position : positions) {
        if (position < tracks.size())
            m_selectedTrackIDs.erase(tracks[position].id);
    }
    m_store->removeLoopTracks(positions);
    // The store does not notify when nothing was removed; the selection changed anyway.
    refresh();
}

void LoopPlaybackView::setTrackSelected(const Uuid& id, bool selected) {
    if (selected)
        m_selectedTrackIDs.insert(id);
    else
        m_selectedTrackIDs.erase(id);
    refresh();
}

void LoopPlaybackView::start() {
    m_store->startLoopPlayback(m_selectedTrackIDs, loopDurationMinutes(m_duration));
}

void LoopPlaybackView::refresh() {
    const bool running = m_store->loopPlayback().has_value();
    m_trackList->showTracks(
        m_store->document().loopTracks, m_selectedTrackIDs,
        {
            .isCurrent = [this](const LoopTrack& track) { return isCurrentTrack(track); },
            .canPlay = [this](const LoopTrack& track) { return m_store->canPlay(track); },
        });
    m_trackList->setEditable(!running);
    refreshControls();
    refreshFooter();
}

void LoopPlaybackView::refreshControls() {
    const auto& session = m_store->loopPlayback();
    const PlaybackState& state = m_store->playback().state();

    m_addButton->setEnabled(!session);
    m_picker->setDuration(m_duration);
    m_picker->setEnabled(!session);

    if (session) {
        m_status->setText(QString::fromStdString(session->remainingText()));
        m_status->setFont(fonts::headline());
        setForeground(m_status, session->isPaused ? palette::orange() : palette::green());
    } else {
        m_status->setText(QStringLiteral("%1곡 선택됨").arg(m_selectedTrackIDs.size()));
        m_status->setFont(fonts::body());
        setForeground(m_status, palette::secondary());
    }

    m_startButton->setTitle(loopDurationTitle(m_duration) + QStringLiteral(" 시작"));
    m_startButton->setEnabled(!m_selectedTrackIDs.empty() && !session);
    m_pauseButton->setTitle(state.isPaused() ? QStringLiteral("계속 재생")
                                             : QStringLiteral("일시정지"));
    m_pauseButton->setSystemImage(state.isPaused() ? Symbol::play : Symbol::pause);
    m_pauseButton->setEnabled(!state.isStopped());
    m_stopButton->setEnabled(!state.isStopped());
    m_fadeButton->setEnabled(!state.isStopped());
}

void LoopPlaybackView::refreshFooter() {
    const AudioPlaybackController& playback = m_store->playback();
    const auto& slot = playback.currentSlot();
    const QString title = slot ? QString::fromStdString(slot->displayTitle()) : QString();
    if (playback.state().isPlaying())
        m_nowPlaying->setText(QStringLiteral("재생 중: ") + title);
    else if (playback.state().isPaused())
        m_nowPlaying->setText(QStringLiteral("일시정지: ") + title);
    else
        m_nowPlaying->setText(QStringLiteral("재생 중인 곡 없음"));

    const double volume = m_store->document().masterVolume;
    m_volumeLabel->setText(masterVolumeText(volume));
    m_volumeSlider->refresh();
}

}  // namespace tavrel
