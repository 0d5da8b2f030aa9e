#include "files/gui/file_clipboard.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QMimeData>
#include <QUrl>

#include "files/transfer_list.h"

namespace velcora::files {

QMimeData* MakeFileMimeData(const std::vector<std::u16string>& items) {
    auto* data = new QMimeData;
    const std::string block = EncodeFileDrop(items);
    data->setData(QString::fromLatin1(kFileListMimeType),
                  QByteArray(block.data(), static_cast<qsizetype>(block.size())));
    const std::string uris = EncodeUriList(items);
    if (!uris.empty()) {
        data->setData(QString::fromLatin1(kUriListMimeType),
                      QByteArray(uris.data(), static_cast<qsizetype>(uris.size())));
        // Desktop file managers paste from this list; one URI a line after
        // the verb, no line end after the last.
        std::string copied = "copy\n" + uris;
        while (!copied.empty() && (copied.back() == '\n' || copied.back() == '\r')) {
            copied.pop_back();
        }
        std::string unixLines;
        for (char c : copied) {
            if (c != '\r') {
                unixLines.push_back(c);
            }
        }
        data->setData(QString::fromLatin1(kGnomeCopiedFilesMimeType),
                      QByteArray(unixLines.data(), static_cast<qsizetype>(unixLines.size())));
    }
    return data;
}

std::optional<std::vector<std::u16string>> FilesFromMime(const QMimeData* data) {
    if (!data) {
        return std::nullopt;
    }
    std::vector<std::u16string> items;
    const QString block = QString::fromLatin1(kFileListMimeType);
    const QString uris = QString::fromLatin1(kUriListMimeType);
    const QString copied = QString::fromLatin1(kGnomeCopiedFilesMimeType);
    if (data->hasFormat(block)) {
        const QByteArray bytes = data->data(block);
        if (auto decoded = DecodeFileDrop(std::string_view(bytes.constData(), bytes.size()))) {
            items = std::move(*decoded);
        }
    }
    if (items.empty() && data->hasFormat(uris)) {
        const QByteArray bytes = data->data(uris);
        items = DecodeUriList(std::string_view(bytes.constData(), bytes.size()));
    }
    if (items.empty() && data->hasFormat(copied)) {
        const QByteArray bytes = data->data(copied);
        std::string_view text(bytes.constData(), bytes.size());
        const auto firstLine = text.find('\n');
        // The verb ("copy" or "cut") comes first; a cut is copied all the same.
        if (firstLine != std::string_view::npos) {
            items = DecodeUriList(text.substr(firstLine + 1));
        }
    }
    if (items.empty()) {
        return std::nullopt;
    }
    return items;
}

void CQtFileClipboard::PutFiles(const std::vector<std::u16string>& items) {
    if (QClipboard* c = QApplication::clipboard()) {
        c->setMimeData(MakeFileMimeData(items));
    }
}

std::optional<std::vector<std::u16string>> CQtFileClipboard::Files() {
    QClipboard* c = QApplication::clipboard();
    return c ? FilesFromMime(c->mimeData()) : std::nullopt;
}

bool CDesktopOpener::Open(const std::u16string& path, const std::u16string&) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdU16String(path)));
}

}  // namespace velcora::files
