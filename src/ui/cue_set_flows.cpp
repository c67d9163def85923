#include "ui/cue_set_flows.h"

#include <QLocale>
#include <QMessageBox>
#include <QPushButton>

#include <algorithm>
#include <cctype>

#include "store/cue_store.h"
#include "ui/file_chooser.h"

namespace tavrel {

namespace {

const QString setFilter = QStringLiteral("Tavrel 세트 (*.tavrel)");

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
                self->exportTo(ensuringSetExtension(*url));
        });
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
    auto* box = new QMessageBox(m_parent->window());
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->setIcon(QMessageBox::Warning);
    box->setWindowTitle(QStringLiteral("Tavrel"));
    box->setText(QStringLiteral("저장한 세트를 불러올까요?"));
    box->setInformativeText(
        QStringLiteral("현재 12개 슬롯은 선택한 세트로 교체됩니다. 기존 세트를 남기려면 먼저 "
                       "세트 메뉴에서 저장하세요."));
    QPushButton* replace =
        box->addButton(QStringLiteral("현재 세트 교체 후 불러오기"), QMessageBox::DestructiveRole);
    QPushButton* cancel = box->addButton(QStringLiteral("취소"), QMessageBox::RejectRole);
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
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
