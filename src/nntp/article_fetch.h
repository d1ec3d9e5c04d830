#pragma once

#include <QByteArray>

// The commands that fetch one article, shared by the viewer, the preview and the download: GROUP,
// then ARTICLE by message-id and, when the server answers 430 to that, once more by number; a
// second 430 means the article is gone. The owner sends what it is handed and keeps its own
// words for each outcome.
class ArticleFetch {
public:
    // The article to fetch next; `messageId` with its angle brackets. A group that is still the
    // selected one is not chosen again.
    void setArticle(const QByteArray& group, const QByteArray& messageId, qint64 number);
    // A new connection has no group selected, nor has one whose server refused the group.
    void forgetGroup() { m_selected.clear(); }
    // The article's group was the last one sent, or it has none (an NZB names articles by
    // message-id alone).
    [[nodiscard]] bool groupSelected() const { return m_group.isEmpty() || m_selected == m_group; }

    // GROUP for the article's group, which counts as selected from then on.
    [[nodiscard]] QByteArray selectGroup();
    // The first try: ARTICLE by message-id.
    [[nodiscard]] QByteArray byId();
    // What to send after a reply: ARTICLE by message-id once the group is selected (211), by
    // number after the first 430 when the article has a number; empty for a second 430 and
    // every other reply.
    [[nodiscard]] QByteArray next(int code);

    [[nodiscard]] const QByteArray& group() const { return m_group; }
    [[nodiscard]] const QByteArray& messageId() const { return m_messageId; }

private:
    QByteArray m_group;
    QByteArray m_selected;
    QByteArray m_messageId;
    qint64 m_number = 0;
    bool m_askedByNumber = false;
};
