#pragma once

// Overview lines shaped like a binary group's XOVER replies, for the header engine benchmarks.

#include <QByteArray>
#include <QDate>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace bench {

// Small, fast and reproducible; the figures must not depend on the library's random engine.
class Rng {
public:
    explicit Rng(std::uint64_t seed)
        : m_s(seed * 0x9E3779B97F4A7C15ULL + 1)
    {
    }
    std::uint64_t next()
    {
        m_s ^= m_s >> 12;
        m_s ^= m_s << 25;
        m_s ^= m_s >> 27;
        return m_s * 0x2545F4914F6CDD1DULL;
    }
    int below(int n) { return static_cast<int>(next() % static_cast<std::uint64_t>(n)); }
    int between(int lo, int hi) { return lo + below(hi - lo + 1); }

private:
    std::uint64_t m_s;
};

struct OverviewOptions {
    std::uint64_t seed = 1;
    qint64 firstArticle = 150'000'000;
    int minParts = 20;
    int maxParts = 60;
    int concurrentPosts = 12; // posts whose parts arrive interleaved
    int posters = 400;
    int serialBase = 0; // keeps file names of separate generators apart
    bool singlesAndText = true; // mix in (1/1) posts and text posts
    // Every post is named "(k/m) - name": the counter comes first, so all posts of one poster with
    // the same part count fall into one item, as a series or a bot's reposts do.
    bool counterFirst = false;
};

// Produces one overview line at a time: "num\tsubject\tfrom\tdate\t<msgid>\trefs\tbytes\tlines".
class OverviewGenerator {
public:
    explicit OverviewGenerator(const OverviewOptions& options)
        : m_opt(options)
        , m_rng(options.seed)
        , m_article(options.firstArticle)
        , m_serial(options.serialBase)
    {
        makePosters();
        m_active.resize(static_cast<size_t>(m_opt.concurrentPosts));
        for (Post& p : m_active)
            startPost(p);
    }

    [[nodiscard]] qint64 nextArticle() const { return m_article; }

    // Appends one line ended by CR LF.
    void appendLine(QByteArray& out)
    {
        Post& p = m_active[static_cast<size_t>(m_rng.below(m_opt.concurrentPosts))];
        ++p.part;
        const qint64 article = m_article++;
        out += QByteArray::number(article);
        out += '\t';
        appendSubject(out, p);
        out += '\t';
        out += m_posters[static_cast<size_t>(p.poster)];
        out += '\t';
        appendDate(out, p);
        out += "\t<";
        appendMessageId(out, p);
        out += ">\t";
        if (p.kind == Kind::Text)
            out += "<ref" + QByteArray::number(p.serial) + "@news.example.org>";
        out += '\t';
        const bool text = p.kind == Kind::Text;
        const int bytes = text ? m_rng.between(900, 4000) : m_rng.between(395'000, 401'000);
        out += QByteArray::number(bytes);
        out += '\t';
        out += QByteArray::number(text ? bytes / 60 : bytes / 131);
        out += "\r\n";
        if (p.part >= p.parts)
            startPost(p);
    }

    [[nodiscard]] QByteArray body(qint64 lines)
    {
        QByteArray out;
        out.reserve(lines * 200);
        for (qint64 i = 0; i < lines; ++i)
            appendLine(out);
        return out;
    }

private:
    enum class Kind { Collection, Quoted, YencAfter, Plain, Bracketed, Single, Text, CounterFirst };

    struct Post {
        Kind kind = Kind::Plain;
        int serial = 0;
        int parts = 1;
        int part = 0;
        int fileIndex = 1; // the "[k/m]" file number of a collection
        int files = 1;
        int poster = 0;
        bool dollarIds = true;
        QByteArray name;
        QByteArray idToken;
        QDate date;
        int secondOfDay = 0;
    };

    void makePosters()
    {
        static constexpr std::array<const char*, 16> kFirst = { "Alpha", "Bravo", "Carla", "Dmitri", "Elena", "Farid",
            "Greta", "Hiro", "Ingrid", "Jonas", "Kalle", "Liang", "Marta", "Nadia", "Oskar", "Pavel" };
        static constexpr std::array<const char*, 8> kHosts = { "example.com", "news.example.org", "mail.example.net",
            "host.example", "poster.example.de", "users.example.co.uk", "b.example", "isp.example.fr" };
        for (int i = 0; i < m_opt.posters; ++i) {
            const QByteArray first = kFirst[static_cast<size_t>(i % 16)];
            const QByteArray last = "Poster" + QByteArray::number(i);
            const QByteArray user = first.toLower() + QByteArray::number(i);
            const QByteArray host = kHosts[static_cast<size_t>(i % 8)];
            switch (i % 4) {
            case 0:
                m_posters.push_back(first + ' ' + last + " <" + user + '@' + host + '>');
                break;
            case 1:
                m_posters.push_back(user + '@' + host + " (" + first + ' ' + last + ')');
                break;
            case 2:
                m_posters.push_back('<' + user + '@' + host + '>');
                break;
            default:
                m_posters.push_back('"' + first + ' ' + last + "\" <" + user + '@' + host + '>');
                break;
            }
        }
    }

    QByteArray randomToken(int length)
    {
        static constexpr char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
        QByteArray t(length, Qt::Uninitialized);
        for (int i = 0; i < length; ++i)
            t[i] = kChars[m_rng.below(62)];
        return t;
    }

    void startPost(Post& p)
    {
        p = Post();
        p.serial = ++m_serial;
        p.poster = m_rng.below(m_opt.posters);
        p.dollarIds = m_rng.below(10) < 7;
        p.idToken = randomToken(6);
        p.date = QDate(2002, 12, 1).addDays(m_rng.below(20));
        p.secondOfDay = m_rng.below(86'000);
        const int roll = m_rng.below(100);
        const bool extras = m_opt.singlesAndText;
        p.kind = roll < 35         ? Kind::Collection
            : roll < 50            ? Kind::Quoted
            : roll < 65            ? Kind::YencAfter
            : roll < 75            ? Kind::Plain
            : roll < 88 || !extras ? Kind::Bracketed
            : roll < 95            ? Kind::Single
                                   : Kind::Text;
        if (m_opt.counterFirst)
            p.kind = Kind::CounterFirst;
        p.parts = m_rng.between(m_opt.minParts, m_opt.maxParts);
        const QByteArray n = QByteArray::number(p.serial);
        switch (p.kind) {
        case Kind::Collection:
            p.files = m_rng.between(10, 80);
            p.fileIndex = m_rng.between(1, p.files);
            p.name = "Some.Show.S0" + QByteArray::number(p.serial % 9 + 1) + "E" + n + ".720p.WEB";
            break;
        case Kind::Quoted:
            p.name = "holiday video " + n + ".part01.rar";
            break;
        case Kind::YencAfter:
            p.name = "backup-" + n + ".tar.vol" + QByteArray::number(p.serial % 64);
            break;
        case Kind::Plain:
            p.name = "My file " + n + ".zip";
            break;
        case Kind::Bracketed:
            p.name = "Album " + n + " - tracks.7z";
            break;
        case Kind::Single:
            p.parts = 1;
            p.name = "holiday pics - img" + n + ".jpg";
            break;
        case Kind::Text:
            p.parts = 1;
            p.name = "Re: what do you think about release " + n + "?";
            break;
        case Kind::CounterFirst:
            p.name = "Series " + n + ".rar";
            break;
        }
    }

    void appendSubject(QByteArray& out, const Post& p)
    {
        const QByteArray k = QByteArray::number(p.part);
        const QByteArray m = QByteArray::number(p.parts);
        switch (p.kind) {
        case Kind::Collection: {
            const QByteArray f = QByteArray::number(p.fileIndex).rightJustified(2, '0');
            out += p.name + " [" + f + '/' + QByteArray::number(p.files) + "] - \"" + p.name + ".part" + f
                + ".rar\" yEnc (" + k + '/' + m + ')';
            break;
        }
        case Kind::Quoted:
            out += '"' + p.name + "\" yEnc (" + k + '/' + m + ')';
            break;
        case Kind::YencAfter:
            out += p.name + " (" + k + '/' + m + ") yEnc";
            break;
        case Kind::Plain:
            out += p.name + " (" + k + '/' + m + ')';
            break;
        case Kind::Bracketed:
            out += p.name + " [" + k + '/' + m + ']';
            break;
        case Kind::Single:
            out += p.name + " (1/1)";
            break;
        case Kind::Text:
            out += p.name;
            break;
        case Kind::CounterFirst:
            out += '(' + k.rightJustified(2, '0') + '/' + m.rightJustified(2, '0') + ") - " + p.name;
            break;
        }
    }

    void appendDate(QByteArray& out, const Post& p)
    {
        static constexpr std::array<const char*, 7> kDays = { "Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun" };
        static constexpr std::array<const char*, 12> kMonths
            = { "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec" };
        const int s = std::min(p.secondOfDay + p.part * 3, 86'399);
        char text[48];
        const int n = std::snprintf(text, sizeof text, "%s, %02d %s %d %02d:%02d:%02d +0000",
            kDays[static_cast<size_t>(p.date.dayOfWeek() - 1)], p.date.day(),
            kMonths[static_cast<size_t>(p.date.month() - 1)], p.date.year(), s / 3600, s / 60 % 60, s % 60);
        out.append(text, n);
    }

    void appendMessageId(QByteArray& out, const Post& p)
    {
        if (p.dollarIds) {
            out += "part" + QByteArray::number(p.part) + "of" + QByteArray::number(p.parts) + '.' + randomToken(6) + '$'
                + p.idToken + "@news.example.com";
        } else {
            out += randomToken(12) + '@' + p.idToken.toLower() + ".powerpost.example";
        }
    }

    OverviewOptions m_opt;
    Rng m_rng;
    qint64 m_article;
    int m_serial;
    std::vector<QByteArray> m_posters;
    std::vector<Post> m_active;
};

} // namespace bench
