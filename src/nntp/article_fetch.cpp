#include "nntp/article_fetch.h"

void ArticleFetch::setArticle(const QByteArray& group, const QByteArray& messageId, qint64 number)
{
    m_group = group;
    m_messageId = messageId;
    m_number = number;
    m_askedByNumber = false;
}

QByteArray ArticleFetch::selectGroup()
{
    m_selected = m_group;
    return "GROUP " + m_group;
}

QByteArray ArticleFetch::byId()
{
    m_askedByNumber = false;
    return "ARTICLE " + m_messageId;
}

QByteArray ArticleFetch::next(int code)
{
    if (code == 211)
        return byId();
    // Some servers find an article by its number when its message-id is unknown to them.
    if (code == 430 && !m_askedByNumber && m_number > 0) {
        m_askedByNumber = true;
        return "ARTICLE " + QByteArray::number(m_number);
    }
    return {};
}
