#include "gui/app/work_log_wnd.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>
#include <QTimer>
#include <QVBoxLayout>
#include <fstream>
#include <string>

#include "app/text.h"

namespace zelmora::gui {

namespace {

// The log's lines end in CR LF and every entry begins with one: the text
// shown uses bare line feeds.
QString decode(const std::string& bytes) {
    std::string utf8 = text::fromCp1251(bytes);
    std::string out;
    out.reserve(utf8.size());
    for (char c : utf8)
        if (c != '\r')
            out.push_back(c);
    return QString::fromStdString(out);
}

}  // namespace

CWorkLogWnd::CWorkLogWnd(std::filesystem::path file, QWidget* parent, int pollMs)
    : QWidget(parent, Qt::Window), file_(std::move(file)) {
    setWindowTitle(QStringLiteral("Журнал работы"));
    setAttribute(Qt::WA_DeleteOnClose);
    text_ = new QPlainTextEdit(this);
    text_->setReadOnly(true);
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    text_->setObjectName(QStringLiteral("log"));
    QFont mono(QStringLiteral("Monospace"));
    mono.setStyleHint(QFont::TypeWriter);
    text_->setFont(mono);
    find_ = new QLineEdit(this);
    find_->setObjectName(QStringLiteral("find"));
    find_->setPlaceholderText(QStringLiteral("Текст для поиска"));
    auto* findButton = new QPushButton(QStringLiteral("&Найти далее"), this);
    status_ = new QLabel(this);
    auto* line = new QHBoxLayout;
    line->addWidget(new QLabel(QStringLiteral("Найти:"), this));
    line->addWidget(find_, 1);
    line->addWidget(findButton);
    line->addWidget(status_);
    auto* box = new QVBoxLayout(this);
    box->addWidget(text_, 1);
    box->addLayout(line);
    connect(findButton, &QPushButton::clicked, this, [this] { findNext(); });
    connect(find_, &QLineEdit::returnPressed, this, [this] { findNext(); });
    resize(900, 560);
    follow();
    timer_ = new QTimer(this);
    connect(timer_, &QTimer::timeout, this, &CWorkLogWnd::follow);
    timer_->start(pollMs);
}

void CWorkLogWnd::follow() {
    std::error_code ec;
    const std::uint64_t size = std::filesystem::file_size(file_, ec);
    if (ec) {
        if (read_ == 0)
            status_->setText(QStringLiteral("Журнал работы не найден: %1")
                                 .arg(QString::fromStdString(file_.string())));
        return;
    }
    if (size == read_)
        return;
    // A shorter file was trimmed (or replaced): it is read again from its start.
    const bool again = size < read_;
    std::ifstream in(file_, std::ios::binary);
    if (!in)
        return;
    if (!again)
        in.seekg(static_cast<std::streamoff>(read_));
    std::string bytes(static_cast<std::size_t>(again ? size : size - read_), '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    QScrollBar* bar = text_->verticalScrollBar();
    const bool atEnd = read_ == 0 || again || bar->value() == bar->maximum();
    if (again) {
        text_->clear();
        read_ = 0;
    }
    QTextCursor end(text_->document());
    end.movePosition(QTextCursor::End);
    end.insertText(decode(bytes));
    read_ += bytes.size();
    status_->clear();
    // The operator reading further up is not pulled down by new entries.
    if (atEnd) {
        text_->moveCursor(QTextCursor::End);
        bar->setValue(bar->maximum());
    }
}

bool CWorkLogWnd::findNext() {
    const QString what = find_->text();
    if (what.isEmpty())
        return false;
    if (text_->find(what))
        return true;
    text_->moveCursor(QTextCursor::Start);
    if (text_->find(what))
        return true;
    status_->setText(QStringLiteral("Не найдено"));
    return false;
}

}  // namespace zelmora::gui
