#include "ui/skin/text.h"

#include <QRegularExpression>

namespace skin {

namespace {

constexpr char kLinkScheme[] = "vl-link:";

}  // namespace

Text::Text(QWidget* parent) : Label(parent) {
    setTextInteractionFlags(Qt::LinksAccessibleByMouse);
    setOpenExternalLinks(false);
    connect(this, &QLabel::linkActivated, this, &Text::OnLinkActivated);
}

void Text::SetText(const std::u16string& text) {
    source_ = text;
    links_.clear();
    const QString s = QString::fromStdU16String(text);
    if (!IsShowHtml()) {
        setText(s);
        return;
    }
    // Each href becomes "vl-link:<index>" so that a click names its link even when two links
    // share a target; the real targets are kept in text order.
    static const QRegularExpression href(
        R"((<a\s[^>]*?href\s*=\s*)(['"])(.*?)\2)",
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    QString shown;
    qsizetype last = 0;
    auto it = href.globalMatch(s);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        shown += s.mid(last, m.capturedStart() - last);
        shown += m.captured(1) + m.captured(2) + kLinkScheme + QString::number(links_.size()) +
                 m.captured(2);
        links_.push_back(m.captured(3).toStdU16String());
        last = m.capturedEnd();
    }
    shown += s.mid(last);
    setText(shown);
}

void Text::OnAttach() {
    Label::OnAttach();
    // A layout sets the text as a plain property; read it once so its links are known.
    if (source_.empty() && !text().isEmpty()) {
        SetText(text().toStdU16String());
    }
}

std::u16string Text::GetLinkContent(int index) const {
    if (index < 0 || index >= GetLinkCount()) {
        return {};
    }
    return links_[static_cast<std::size_t>(index)];
}

void Text::OnLinkActivated(const QString& link) {
    if (!link.startsWith(kLinkScheme)) {
        return;
    }
    bool ok = false;
    const int index = link.mid(static_cast<qsizetype>(sizeof(kLinkScheme) - 1)).toInt(&ok);
    if (ok && index >= 0 && index < GetLinkCount()) {
        SendNotify("link", static_cast<vl::WPARAM>(index));
    }
}

}  // namespace skin
