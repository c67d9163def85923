#include "ui/cue_set_flows.h"

#include <QLocale>
#include <QMessageBox>
#include <QPushButton>

#include <algorithm>
#include <cctype>

#include "store/cue_store.h"
#include "ui/file_chooser.h"
#include "ui/tavrel_theme.h"

namespace tavrel {

namespace {

const QString setFilter = QStringLiteral("Tavrel 세트 (*.tavrel)");

struct Confirmation {
    QMessageBox* box = nullptr;
    QPushButton* confirm = nullptr;
};

// A window-modal question whose safe answer, "취소", is the default.
Confirmation askFirst(QWidget* parent, const QString& text, const QString& detail,
                      const QString& confirmTitle) {
    auto* box = new QMessageBox(parent->window());
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->setIcon(QMessageBox::Warning);
    box->setWindowTitle(QStringLiteral("Tavrel"));
    box->setText(text);
    box->setInformativeText(detail);
    QPushButton* confirm = box->addButton(confirmTitle, QMessageBox::DestructiveRole);
    confirm->setStyleSheet(QStringLiteral("color: %1;").arg(palette::red().name()));
    QPushButton* cancel = box->addButton(QStringLiteral("취소"), QMessageBox::RejectRole);
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    return {box, confirm};
}

bool somethingIsAt(const std::filesystem::path& url) {
    std::error_code error;
    return std::filesystem::symlink_status(url, error).type() !=
           std::filesystem::file_type::not_found;
}

}  // namespace

CueSetFlows::CueSetFlows(std::shared_ptr<CueStore> store, FileChooser& fileChooser, QWidget* parent,
                         std::function<QDateTime()> now)
    : QObject(parent),
      m_store(std::move(store)),
      m_fileChooser(fileChooser),
      m_parent(parent),
      m_now(now ? std::move(now) : std::function<QDateTime()>(&QDateTime::currentDateTime)) {}

QString CueSetFlows::defaultSetName(const QDateTime& time) {
    const QLocale korean(QLocale::Korean, QLocale::SouthKorea);
    return QStringLiteral("Tavrel-세트-") + korean.toString(time, QStringLiteral("yyyyMMdd-HHmm")) +
           QStringLiteral(".tavrel");
}

std::filesystem::path CueSetFlows::ensuringSetExtension(std::filesystem::path url) {
    std::string extension = url.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension != ".tavrel")
        url += ".tavrel";
    return url;
}

void CueSetFlows::saveCurrentSet() {
    SavePanelOptions options;
    options.title = QStringLiteral("Tavrel 세트 저장");
    options.prompt = QStringLiteral("저장");
    options.defaultName = defaultSetName(m_now());
    options.nameFilters = {setFilter};
    options.kind = FileKind::set;
    m_fileChooser.chooseToSave(
        m_parent, options,
        [self = QPointer<CueSetFlows>(this)](std::optional<std::filesystem::path> url) {
            if (self && url)
                self->saveTo(ensuringSetExtension(*url));
        });
}

void CueSetFlows::chooseSetToReplace() {
    OpenPanelOptions options;
    options.title = QStringLiteral("교체할 Tavrel 세트 선택");
    options.prompt = QStringLiteral("선택");
    options.canChooseFiles = false;
    options.canChooseDirectories = true;
    options.allowsMultipleSelection = false;
    m_fileChooser.chooseToOpen(
        m_parent, options,
        [self = QPointer<CueSetFlows>(this)](std::vector<std::filesystem::path> urls) {
            if (self && !urls.empty())
                self->saveTo(urls.front());
        });
}

void CueSetFlows::saveTo(const std::filesystem::path& url) {
    if (!somethingIsAt(url)) {
        exportTo(url);
        return;
    }
    m_pendingReplaceURL = url;
    if (m_replaceConfirmation)
        return;
    const QString name = QString::fromStdU16String(url.filename().u16string());
    const Confirmation question = askFirst(
        m_parent, QStringLiteral("‘%1’을(를) 교체할까요?").arg(name),
        QStringLiteral("이 이름의 세트가 이미 있습니다. 교체하면 그 세트의 큐와 미디어는 현재 "
                       "세트로 바뀝니다."),
        QStringLiteral("교체"));
    connect(question.box, &QMessageBox::finished, this,
            [this, box = question.box, replace = question.confirm] {
                const bool confirmed = box->clickedButton() == replace;
                const std::optional<std::filesystem::path> chosen = m_pendingReplaceURL;
                m_pendingReplaceURL.reset();
                m_replaceConfirmation = nullptr;
                if (confirmed && chosen)
                    exportTo(*chosen);
            });
    m_replaceConfirmation = question.box;
    question.box->open();
}

void CueSetFlows::exportTo(const std::filesystem::path& url) {
    try {
        m_store->exportBackup(url);
    } catch (const std::exception& error) {
        m_store->setPersistenceError(error.what());
    }
}

void CueSetFlows::chooseSetToRestore() {
    OpenPanelOptions options;
    options.title = QStringLiteral("Tavrel 세트 불러오기");
    options.prompt = QStringLiteral("선택");
    options.canChooseFiles = false;
    options.canChooseDirectories = true;
    options.allowsMultipleSelection = false;
    options.kind = FileKind::set;
    m_fileChooser.chooseToOpen(
        m_parent, options,
        [self = QPointer<CueSetFlows>(this)](std::vector<std::filesystem::path> urls) {
            if (self && !urls.empty())
                self->confirmRestore(urls.front());
        });
}

void CueSetFlows::confirmRestore(const std::filesystem::path& url) {
    m_pendingRestoreURL = url;
    if (m_confirmation)
        return;
    const Confirmation question =
        askFirst(m_parent, QStringLiteral("저장한 세트를 불러올까요?"),
                 QStringLiteral("현재 12개 슬롯은 선택한 세트로 교체됩니다. 기존 세트를 남기려면 "
                                "먼저 세트 메뉴에서 저장하세요."),
                 QStringLiteral("현재 세트 교체 후 불러오기"));
    QMessageBox* box = question.box;
    QPushButton* replace = question.confirm;
    connect(box, &QMessageBox::finished, this, [this, box, replace] {
        const bool confirmed = box->clickedButton() == replace;
        const std::optional<std::filesystem::path> chosen = m_pendingRestoreURL;
        m_pendingRestoreURL.reset();
        m_confirmation = nullptr;
        if (confirmed && chosen)
            m_store->restoreBackup(*chosen);
    });
    m_confirmation = box;
    box->open();
}

}  // namespace tavrel
