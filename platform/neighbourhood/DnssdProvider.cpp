#include "platform/neighbourhood/DnssdProvider.h"

#include "platform/neighbourhood/AvahiDaemon.h"
#include "platform/neighbourhood/MdnsDirectQuery.h"
#include "platform/system/Cp1252.h"

#include <QString>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <deque>
#include <map>
#include <set>
#include <tuple>
#include <vector>

namespace platform {
namespace {

std::string toUtf8(const std::string& cp1252) {
    return fromCp1252(cp1252).toUtf8().toStdString();
}

std::string fromUtf8(const std::string& utf8) {
    return toCp1252(QString::fromUtf8(utf8));
}

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    });
    return text;
}

std::string withoutFinalDot(std::string name) {
    if (!name.empty() && name.back() == '.') name.pop_back();
    return name;
}

NetResource record(std::uint32_t displayType, std::string remoteName) {
    return containerRecord(displayType, std::move(remoteName), dnssdProviderName);
}

// A name in DNS text form with its escapes undone: "\DDD" is the byte of that decimal
// value, a backslash before any other character is that character. None for an escape
// that is cut short or out of range.
std::optional<std::string> unescaped(const std::string& escaped) {
    std::string bytes;
    for (std::size_t i = 0; i < escaped.size(); ++i) {
        if (escaped[i] != '\\') {
            bytes.push_back(escaped[i]);
            continue;
        }
        if (++i >= escaped.size()) return std::nullopt;
        const auto digit = [&](std::size_t at) {
            return at < escaped.size() && escaped[at] >= '0' && escaped[at] <= '9';
        };
        if (!digit(i)) {
            bytes.push_back(escaped[i]);
            continue;
        }
        if (!digit(i + 1) || !digit(i + 2)) return std::nullopt;
        const int value =
            (escaped[i] - '0') * 100 + (escaped[i + 1] - '0') * 10 + (escaped[i + 2] - '0');
        if (value > 255) return std::nullopt;
        bytes.push_back(static_cast<char>(value));
        i += 2;
    }
    return bytes;
}

// How long the computers of "local" found alongside the domains stand for a fresh browse.
constexpr std::chrono::seconds prefetchLife{5};

} // namespace

std::string hostNameWithoutDomain(const std::string& hostName, const std::string& domain) {
    const std::string host = withoutFinalDot(hostName);
    const std::string suffix = "." + lowered(withoutFinalDot(domain));
    const std::string lower = lowered(host);
    if (suffix.size() > 1 && lower.size() > suffix.size() &&
        lower.compare(lower.size() - suffix.size(), suffix.size(), suffix) == 0)
        return host.substr(0, host.size() - suffix.size());
    return host;
}

namespace {

// Latin letters for the Greek and Cyrillic alphabets, lower case; accents come off first.
struct Latin {
    char16_t letter;
    const char* latin;
};
constexpr Latin latinLetters[] = {
    {u'α', "a"},  {u'β', "v"},    {u'γ', "g"},  {u'δ', "d"},  {u'ε', "e"},  {u'ζ', "z"},
    {u'η', "i"},  {u'θ', "th"},   {u'ι', "i"},  {u'κ', "k"},  {u'λ', "l"},  {u'μ', "m"},
    {u'ν', "n"},  {u'ξ', "x"},    {u'ο', "o"},  {u'π', "p"},  {u'ρ', "r"},  {u'σ', "s"},
    {u'ς', "s"},  {u'τ', "t"},    {u'υ', "y"},  {u'φ', "f"},  {u'χ', "ch"}, {u'ψ', "ps"},
    {u'ω', "o"},  {u'а', "a"},    {u'б', "b"},  {u'в', "v"},  {u'г', "g"},  {u'д', "d"},
    {u'е', "e"},  {u'ж', "zh"},   {u'з', "z"},  {u'и', "i"},  {u'к', "k"},  {u'л', "l"},
    {u'м', "m"},  {u'н', "n"},    {u'о', "o"},  {u'п', "p"},  {u'р', "r"},  {u'с', "s"},
    {u'т', "t"},  {u'у', "u"},    {u'ф', "f"},  {u'х', "kh"}, {u'ц', "ts"}, {u'ч', "ch"},
    {u'ш', "sh"}, {u'щ', "shch"}, {u'ъ', ""},   {u'ы', "y"},  {u'ь', ""},   {u'э', "e"},
    {u'ю', "yu"}, {u'я', "ya"},   {u'і', "i"},  {u'є', "ye"}, {u'ґ', "g"},  {u'ђ', "dj"},
    {u'ј', "j"},  {u'љ', "lj"},   {u'њ', "nj"}, {u'ћ', "c"},  {u'џ', "dz"}, {u'ў', "u"},
};

// A character the code page lacks, in letters it has: without its accents when that is
// enough, else in Latin letters; none when neither gives anything.
std::optional<QString> readableLetters(QChar c) {
    QString out;
    bool any = false;
    for (const QChar part : QString(c).normalized(QString::NormalizationForm_KD)) {
        if (part.isMark()) continue;
        if (toCp1252Exactly(QString(part))) {
            out += part;
            any = true;
            continue;
        }
        const char16_t lower = part.toLower().unicode();
        const auto found = std::find_if(std::begin(latinLetters), std::end(latinLetters),
                                        [&](const Latin& l) { return l.letter == lower; });
        if (found == std::end(latinLetters)) return std::nullopt;
        QString latin = QString::fromLatin1(found->latin);
        if (part.isUpper() && !latin.isEmpty()) latin[0] = latin[0].toUpper();
        out += latin;
        any = true;
    }
    if (!any) return std::nullopt;
    return out;
}

} // namespace

std::optional<std::string> readableName(const QString& name) {
    if (std::optional<std::string> exact = toCp1252Exactly(name)) return exact;
    if (name.contains(QChar::ReplacementCharacter)) return std::nullopt; // not UTF-8
    QString readable;
    for (const QChar c : name) {
        if (toCp1252Exactly(QString(c))) {
            readable += c;
            continue;
        }
        const std::optional<QString> letters = readableLetters(c);
        if (!letters) {
            // A script without Latin letters here: the name's international form, which is
            // what such a name's owners write where only letters and digits go.
            const QByteArray ace = QUrl::toAce(name);
            if (ace.isEmpty()) return std::nullopt;
            return ace.toStdString();
        }
        readable += *letters;
    }
    return toCp1252Exactly(readable);
}

std::optional<std::string> listedHostName(const std::string& hostName, const std::string& domain) {
    const std::optional<std::string> utf8 = unescaped(hostNameWithoutDomain(hostName, domain));
    if (!utf8 || utf8->empty()) return std::nullopt;
    // Bytes that are not UTF-8 come out as replacement characters.
    return readableName(QString::fromUtf8(utf8->data(), static_cast<qsizetype>(utf8->size())));
}

std::vector<DnssdProvider::ListedHost> computersOfDomain(const std::vector<std::string>& own,
                                                         const std::vector<std::string>& fromDaemon,
                                                         const std::vector<std::string>& others,
                                                         const std::string& domainUtf8) {
    std::vector<DnssdProvider::ListedHost> hosts;
    std::set<std::string> seen;
    for (const auto* tier : {&own, &fromDaemon, &others})
        for (const std::string& full : *tier) {
            if (hosts.size() >= maxComputersPerDomain) break;
            const std::optional<std::string> name = listedHostName(full, domainUtf8);
            if (!name || !seen.insert(lowered(*name)).second) continue;
            hosts.push_back({*name, full});
        }
    std::stable_sort(hosts.begin(), hosts.end(), [](const auto& a, const auto& b) {
        return lowered(a.listedName) < lowered(b.listedName);
    });
    return hosts;
}

namespace {

// One service found, and the host that publishes it once it is resolved.
struct FoundService {
    AvahiDaemon::Item item;
    std::string hostName;
};

// The daemon refuses a client more than about a thousand objects at once, and each
// resolution is one of them for as long as it runs. So a network with many services (or
// one announcer publishing thousands) is resolved a few at a time.
constexpr int maxResolversAtOnce = 16;
// Many more than a daemon's cache holds: past this, services found are not kept.
constexpr std::size_t maxServicesKept = 4096;

// The services of the computer types in one domain as the daemon reports them.
struct ComputerBrowse {
    int browsersPending = 0;
    int resolversPending = 0;
    // Kept in the order the services were found, so the list follows the network's order
    // and not the order in which the answers happened to come back.
    std::vector<std::unique_ptr<FoundService>> services;
    // The services still to resolve, one queue per type, taken from in turn: thousands of
    // services of one type cannot keep the computers that publish another from being
    // resolved before the bound.
    std::map<QString, std::deque<FoundService*>> waiting;
    std::map<QString, std::deque<FoundService*>>::iterator nextType = waiting.end();
    std::size_t waitingCount = 0;
    // A service seen on several interfaces is resolved once.
    std::set<std::tuple<QString, QString, QString>> seen;

    bool done() const { return browsersPending == 0 && resolversPending == 0 && waitingCount == 0; }

    // Files a service found; false when it was seen already or there is no more room.
    bool add(const AvahiDaemon::Item& item) {
        if (services.size() >= maxServicesKept ||
            !seen.insert({item.name, item.type, item.domain}).second)
            return false;
        services.push_back(std::make_unique<FoundService>(FoundService{item, {}}));
        waiting[item.type].push_back(services.back().get());
        ++waitingCount;
        return true;
    }

    FoundService* takeWaiting() {
        if (waitingCount == 0) return nullptr;
        for (;;) {
            if (nextType == waiting.end()) nextType = waiting.begin();
            auto current = nextType++;
            if (current->second.empty()) continue;
            FoundService* service = current->second.front();
            current->second.pop_front();
            --waitingCount;
            return service;
        }
    }
};

// The responders of "local" are asked directly as well (see MdnsDirectQuery.h); none of
// another domain. They answer such a query at once: a short wait after it is enough.
constexpr std::chrono::milliseconds directAnswerWait{250};

bool isLocal(const std::string& domainUtf8) {
    return lowered(withoutFinalDot(domainUtf8)) == "local";
}

// The hosts behind the services a browse found, then those the direct answers named,
// ranked (see computersOfDomain). The full name stays in Avahi's escaped form, which is
// what a lookup hands back to it.
std::vector<DnssdProvider::ListedHost> hostsOf(const ComputerBrowse& browse,
                                               const MdnsDirectQuery* direct,
                                               const std::string& domainUtf8) {
    std::vector<std::string> fromDaemon;
    for (const auto& service : browse.services)
        if (!service->hostName.empty()) fromDaemon.push_back(withoutFinalDot(service->hostName));
    if (direct == nullptr) return computersOfDomain({}, fromDaemon, {}, domainUtf8);
    return computersOfDomain(direct->roster().ownHosts(), fromDaemon,
                             direct->roster().othersHosts(), domainUtf8);
}

using Clock = std::chrono::steady_clock;

std::chrono::milliseconds until(Clock::time_point when) {
    return std::max(std::chrono::milliseconds(0),
                    std::chrono::ceil<std::chrono::milliseconds>(when - Clock::now()));
}

} // namespace

// One container asked of the daemon, on the event loop: the network record (its browse
// domains) or a domain (its computers). The direct query for "local" goes out first: a
// daemon busy with a flood may take seconds to answer at all, while the computers' own
// answers come within milliseconds.
//
// The daemon's part is bound by the provider's bound from the ask's start, but is given at
// least half of it once the daemon has answered at all, never past one and a half bounds:
// the scan waits for each container a while longer than that (5 s against the default
// 2.5 s), and a later answer would be dropped whole. What has not answered by then is left
// out; the direct answers are read once more at the end, whatever the time.
class DnssdProvider::Ask : public QObject {
public:
    // Asks for the domains (`domainUtf8` empty) or for the computers of `domainUtf8`.
    Ask(DnssdProvider& provider, AvahiDaemon& daemon, std::string domainUtf8,
        std::function<void(Answer)> answered)
        : provider_(provider), daemon_(daemon), domainUtf8_(std::move(domainUtf8)),
          answered_(std::move(answered)), started_(Clock::now()),
          deadline_(started_ + provider.bound_) {
        if (forDomains() || isLocal(domainUtf8_)) {
            direct_ = MdnsDirectQuery::start(
                {std::begin(dnssdComputerServiceTypes), std::end(dnssdComputerServiceTypes)});
            answersBy_ = Clock::now() + directAnswerWait;
        }
        for (QTimer* timer : {&deadlineTimer_, &directWait_}) {
            timer->setSingleShot(true);
            timer->setTimerType(Qt::PreciseTimer);
            connect(timer, &QTimer::timeout, this, [this] { finish(); });
        }
        deadlineTimer_.start(until(deadline_));
        if (forDomains()) browseDomains(QString());
        // Each browse waits about a second for the network's answers. A scan asks for the
        // computers of "local" right after the domains, so that wait is spent alongside the
        // domains' own, and the answer kept for that next ask.
        browseComputers(forDomains() ? std::string("local") : domainUtf8_);
    }

    ~Ask() override { stopBrowsers(); }

private:
    bool forDomains() const { return domainUtf8_.empty(); }

    // The daemon lists the network's wide-area domains (its resolver's search domains) but
    // not the browse domains their DNS zones announce, which is where an office lists the
    // computers of its other subnets: those are asked of each wide-area domain as soon as
    // the daemon names it, also after it has said "all for now" (its DNS answers may come
    // later).
    void browseDomains(const QString& inDomain) {
        const bool top = inDomain.isEmpty();
        ++domainBrowsesPending_;
        browsers_.push_back(daemon_.browseDomains(
            inDomain,
            [this, top](const AvahiDaemon::Item& item) {
                daemonAnswered();
                const std::string name = withoutFinalDot(item.domain.toStdString());
                const bool known =
                    std::any_of(domains_.begin(), domains_.end(),
                                [&](const std::string& n) { return lowered(n) == lowered(name); });
                if (known || name.empty()) return;
                domains_.push_back(name);
                if (top && !finished_) browseDomains(QString::fromStdString(name));
            },
            [this, top](bool reached) {
                --domainBrowsesPending_;
                if (top && !reached) return unreachable();
                daemonAnswered();
                step();
            }));
    }

    void browseComputers(const std::string& domain) {
        for (const char* type : dnssdComputerServiceTypes) {
            ++computers_.browsersPending;
            browsers_.push_back(daemon_.browseServices(
                QString::fromLatin1(type), QString::fromStdString(domain),
                [this](const AvahiDaemon::Item& item) {
                    daemonAnswered();
                    if (computers_.add(item)) resolveWaiting();
                },
                [this, first = browsers_.empty()](bool reached) {
                    --computers_.browsersPending;
                    // A domain's ask with no daemon to reach cannot be opened.
                    if (first && !reached && !forDomains()) return unreachable();
                    daemonAnswered();
                    step();
                }));
        }
    }

    void resolveWaiting() {
        while (computers_.resolversPending < maxResolversAtOnce) {
            FoundService* service = computers_.takeWaiting();
            if (service == nullptr) return;
            ++computers_.resolversPending;
            daemon_.resolveService(service->item, until(deadline_), this,
                                   [this, service](const QString& host) {
                                       if (finished_) return;
                                       service->hostName = host.toStdString();
                                       --computers_.resolversPending;
                                       resolveWaiting();
                                       step();
                                   });
        }
    }

    // The first word from the daemon moves the deadline (see above).
    void daemonAnswered() {
        if (std::exchange(daemonHeardFrom_, true)) return;
        const auto bound = provider_.bound_;
        deadline_ = std::min(std::max(started_ + bound, Clock::now() + bound / 2),
                             started_ + bound * 3 / 2);
        deadlineTimer_.start(until(deadline_));
    }

    // No daemon: nothing to list.
    void unreachable() {
        if (finished_) return;
        end(std::nullopt);
    }

    // Once the daemon has said all it knows, the direct answers get what is left of their
    // short wait.
    void step() {
        if (finished_ || domainBrowsesPending_ > 0 || !computers_.done()) return;
        if (direct_ && Clock::now() < answersBy_)
            directWait_.start(until(answersBy_));
        else
            finish();
    }

    void finish() {
        if (finished_) return;
        // What came meanwhile, also when the daemon took the whole bound.
        if (direct_) direct_->readAnswers(1024);
        const std::string domain = forDomains() ? std::string("local") : domainUtf8_;
        std::vector<NetResource> computers =
            provider_.remember(hostsOf(computers_, direct_.get(), domain));
        if (!forDomains()) return end(std::move(computers));
        provider_.prefetchedLocal_ = std::move(computers);
        provider_.prefetchedAt_ = Clock::now();
        std::vector<NetResource> domains;
        for (const std::string& name : domains_)
            domains.push_back(record(RESOURCEDISPLAYTYPE_DOMAIN, fromUtf8(name)));
        end(std::move(domains));
    }

    // The answer, once; the ask is then let go by the provider, its browsers stopped and
    // its query's socket closed at once.
    void end(Answer found) {
        finished_ = true;
        deadlineTimer_.stop();
        directWait_.stop();
        stopBrowsers();
        direct_.reset();
        const auto answered = std::move(answered_);
        provider_.release(this);
        answered(std::move(found));
    }

    void stopBrowsers() {
        for (const AvahiDaemon::Id id : std::exchange(browsers_, {}))
            daemon_.stop(id);
    }

    DnssdProvider& provider_;
    AvahiDaemon& daemon_;
    const std::string domainUtf8_;
    std::function<void(Answer)> answered_;
    const Clock::time_point started_;
    Clock::time_point deadline_;
    bool daemonHeardFrom_ = false;
    bool finished_ = false;
    std::unique_ptr<MdnsDirectQuery> direct_;
    Clock::time_point answersBy_;
    std::vector<AvahiDaemon::Id> browsers_;
    std::vector<std::string> domains_{"local"};
    int domainBrowsesPending_ = 0;
    ComputerBrowse computers_;
    QTimer deadlineTimer_;
    QTimer directWait_;
};

DnssdProvider::DnssdProvider(std::chrono::milliseconds bound) : bound_(bound) {}

DnssdProvider::~DnssdProvider() {
    // The asks stop their browsers on the daemon, which ends after them.
    asks_.clear();
    retired_.clear();
}

bool DnssdProvider::ask(const NetResource& container, std::function<void(Answer)> answered) {
    if (!daemon_) daemon_ = std::make_unique<AvahiDaemon>();
    std::string domainUtf8;
    switch (container.dwDisplayType) {
    case RESOURCEDISPLAYTYPE_NETWORK:
    case RESOURCEDISPLAYTYPE_ROOT:
        break;
    case RESOURCEDISPLAYTYPE_DOMAIN:
        domainUtf8 = toUtf8(container.lpRemoteName.value_or(std::string()));
        if (!domainUtf8.empty()) break;
        [[fallthrough]];
    default:
        QTimer::singleShot(0, daemon_.get(), [answered] { answered(std::nullopt); });
        return true;
    }
    if (isLocal(domainUtf8) && prefetchedLocal_ && Clock::now() - prefetchedAt_ < prefetchLife) {
        QTimer::singleShot(
            0, daemon_.get(),
            [answered, found = std::exchange(prefetchedLocal_, std::nullopt)] { answered(found); });
        return true;
    }
    asks_.push_back(std::make_unique<Ask>(*this, *daemon_, domainUtf8, std::move(answered)));
    return true;
}

void DnssdProvider::release(Ask* ask) {
    const auto own = std::find_if(asks_.begin(), asks_.end(),
                                  [&](const std::unique_ptr<Ask>& a) { return a.get() == ask; });
    if (own == asks_.end()) return;
    // The ask is inside a call of its own: it ends on the loop's next turn, or with the
    // provider.
    retired_.push_back(std::move(*own));
    asks_.erase(own);
    QTimer::singleShot(0, daemon_.get(), [this] { retired_.clear(); });
}

std::vector<NetResource> DnssdProvider::remember(const std::vector<ListedHost>& hosts) {
    std::vector<NetResource> result;
    std::lock_guard lock(namesMutex_);
    for (const ListedHost& host : hosts) {
        fullNames_[lowered(host.listedName)] = host.fullName;
        result.push_back(record(RESOURCEDISPLAYTYPE_SERVER, "\\\\" + host.listedName));
    }
    return result;
}

std::optional<std::string> DnssdProvider::fullHostName(const std::string& listedName) const {
    std::lock_guard lock(namesMutex_);
    const auto found = fullNames_.find(lowered(listedName));
    if (found == fullNames_.end()) return std::nullopt;
    return found->second;
}

} // namespace platform
