#include "platform/neighbourhood/DnssdProvider.h"

#include "platform/neighbourhood/AvahiSession.h"
#include "platform/neighbourhood/MdnsDirectQuery.h"
#include "platform/system/Cp1252.h"

#include <QString>
#include <QUrl>
#include <algorithm>
#include <avahi-client/lookup.h>
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
    NetResource entry;
    entry.dwDisplayType = displayType;
    entry.dwUsage = RESOURCEUSAGE_CONTAINER;
    entry.lpRemoteName = std::move(remoteName);
    entry.lpProvider = dnssdProviderName;
    return entry;
}

struct DomainBrowse {
    std::vector<std::string> names{"local"};
    std::set<AvahiDomainBrowser*> browsersPending;
};

// Browses the domains that `inDomain` announces (null: the daemon's own, "local", and the
// wide-area domains it was given); the browse's callbacks fill them in.
void startDomainBrowse(AvahiClient* client, const char* inDomain, DomainBrowse& browse);

void onDomain(AvahiDomainBrowser* browser, AvahiIfIndex, AvahiProtocol, AvahiBrowserEvent event,
              const char* domain, AvahiLookupResultFlags, void* userdata) {
    auto* browse = static_cast<DomainBrowse*>(userdata);
    if (event == AVAHI_BROWSER_NEW && domain != nullptr) {
        const std::string name = withoutFinalDot(domain);
        const bool known =
            std::any_of(browse->names.begin(), browse->names.end(),
                        [&](const std::string& n) { return lowered(n) == lowered(name); });
        if (!known && !name.empty()) browse->names.push_back(name);
    } else if (event == AVAHI_BROWSER_ALL_FOR_NOW || event == AVAHI_BROWSER_FAILURE) {
        // A failure may follow "all for now": each browser is counted off once.
        browse->browsersPending.erase(browser);
    }
}

void startDomainBrowse(AvahiClient* client, const char* inDomain, DomainBrowse& browse) {
    AvahiDomainBrowser* browser = avahi_domain_browser_new(
        client, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, inDomain, AVAHI_DOMAIN_BROWSER_BROWSE,
        static_cast<AvahiLookupFlags>(0), onDomain, &browse);
    if (browser != nullptr) browse.browsersPending.insert(browser);
}

struct ComputerBrowse;

// One service found, and the host that publishes it once it is resolved.
struct FoundService {
    ComputerBrowse* browse = nullptr;
    AvahiIfIndex interface = AVAHI_IF_UNSPEC;
    AvahiProtocol protocol = AVAHI_PROTO_UNSPEC;
    std::string name, type, domain;
    std::string hostName;
};

// The daemon refuses a client more than about a thousand objects at once, and then the
// whole browse fails; and each resolver costs two calls to the daemon. So a network with
// many services (or one announcer publishing thousands) is resolved a few at a time.
constexpr int maxResolversAtOnce = 16;
// Many more than a daemon's cache holds: past this, services found are not kept.
constexpr std::size_t maxServicesKept = 4096;

struct ComputerBrowse {
    AvahiClient* client = nullptr;
    std::set<AvahiServiceBrowser*> browsersPending;
    int resolversPending = 0;
    // Kept in the order the services were found, so the list follows the network's order
    // and not the order in which the answers happened to come back.
    std::vector<std::unique_ptr<FoundService>> services;
    // The services still to resolve, one queue per type, taken from in turn: thousands of
    // services of one type cannot keep the computers that publish another from being
    // resolved before the bound.
    std::map<std::string, std::deque<FoundService*>> waiting;
    std::map<std::string, std::deque<FoundService*>>::iterator nextType = waiting.end();
    std::size_t waitingCount = 0;
    // A service seen on several interfaces is resolved once.
    std::set<std::tuple<std::string, std::string, std::string>> seen;

    bool done() const {
        return browsersPending.empty() && resolversPending == 0 && waitingCount == 0;
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

void resolveWaiting(ComputerBrowse& browse);

void onServiceResolved(AvahiServiceResolver* resolver, AvahiIfIndex, AvahiProtocol,
                       AvahiResolverEvent event, const char*, const char*, const char*,
                       const char* hostName, const AvahiAddress*, std::uint16_t, AvahiStringList*,
                       AvahiLookupResultFlags, void* userdata) {
    auto* service = static_cast<FoundService*>(userdata);
    if (event == AVAHI_RESOLVER_FOUND && hostName != nullptr) service->hostName = hostName;
    avahi_service_resolver_free(resolver);
    --service->browse->resolversPending;
    resolveWaiting(*service->browse);
}

void resolveWaiting(ComputerBrowse& browse) {
    // Only the host's name is wanted; its addresses are looked up when it is invited.
    const auto flags = static_cast<AvahiLookupFlags>(AVAHI_LOOKUP_NO_TXT | AVAHI_LOOKUP_NO_ADDRESS);
    while (browse.resolversPending < maxResolversAtOnce) {
        FoundService* service = browse.takeWaiting();
        if (service == nullptr) break;
        if (avahi_service_resolver_new(browse.client, service->interface, service->protocol,
                                       service->name.c_str(), service->type.c_str(),
                                       service->domain.c_str(), AVAHI_PROTO_INET, flags,
                                       onServiceResolved, service) != nullptr)
            ++browse.resolversPending;
    }
}

void onService(AvahiServiceBrowser* browser, AvahiIfIndex interface, AvahiProtocol protocol,
               AvahiBrowserEvent event, const char* name, const char* type, const char* domain,
               AvahiLookupResultFlags, void* userdata) {
    auto* browse = static_cast<ComputerBrowse*>(userdata);
    if (event == AVAHI_BROWSER_NEW && name != nullptr && type != nullptr && domain != nullptr) {
        if (browse->services.size() >= maxServicesKept ||
            !browse->seen.insert({name, type, domain}).second)
            return;
        auto service = std::make_unique<FoundService>();
        service->browse = browse;
        service->interface = interface;
        service->protocol = protocol;
        service->name = name;
        service->type = type;
        service->domain = domain;
        browse->waiting[type].push_back(service.get());
        ++browse->waitingCount;
        browse->services.push_back(std::move(service));
        resolveWaiting(*browse);
    } else if (event == AVAHI_BROWSER_ALL_FOR_NOW || event == AVAHI_BROWSER_FAILURE) {
        // A failure may follow "all for now": each browser is counted off once.
        browse->browsersPending.erase(browser);
    }
}

// Browses every computer service type in a domain; the browse's callbacks fill it in.
void startComputerBrowse(AvahiClient* client, const std::string& domainUtf8,
                         ComputerBrowse& browse) {
    browse.client = client;
    for (const char* type : dnssdComputerServiceTypes) {
        AvahiServiceBrowser* browser = avahi_service_browser_new(
            client, AVAHI_IF_UNSPEC, AVAHI_PROTO_INET, type, domainUtf8.c_str(),
            static_cast<AvahiLookupFlags>(0), onService, &browse);
        if (browser != nullptr) browse.browsersPending.insert(browser);
    }
}

// The responders of "local" asked directly as well (see MdnsDirectQuery.h); none for
// another domain. They answer such a query at once: a short wait after it is enough. The
// query goes out before the daemon is spoken to, and its answers are read on the
// session's loop once there is one (and once more at the end, whatever the time): a
// daemon busy with a flood may take seconds to open a session and start its browsers,
// while the computers' own answers come within milliseconds.
struct DirectAsk {
    std::unique_ptr<MdnsDirectQuery> query;
    AvahiSession::Clock::time_point answersBy;
};

constexpr std::chrono::milliseconds directAnswerWait{250};

DirectAsk askDirectly(const std::string& domainUtf8) {
    if (lowered(withoutFinalDot(domainUtf8)) != "local") return {};
    return {MdnsDirectQuery::start(
                {std::begin(dnssdComputerServiceTypes), std::end(dnssdComputerServiceTypes)}),
            AvahiSession::Clock::now() + directAnswerWait};
}

// Reads the direct answers on a session's loop while it lives; declared after the
// session, so that it lets go of the session's poll first.
class DirectWatch {
public:
    DirectWatch(const DirectAsk& direct, const AvahiSession& session) : query_(direct.query.get()) {
        if (query_) query_->watchOn(session.poll());
    }
    ~DirectWatch() {
        if (query_) query_->unwatch();
    }
    DirectWatch(const DirectWatch&) = delete;
    DirectWatch& operator=(const DirectWatch&) = delete;

private:
    MdnsDirectQuery* query_;
};

void waitForDirectAnswers(AvahiSession& session, const DirectAsk& direct,
                          AvahiSession::Clock::time_point deadline) {
    if (!direct.query) return;
    session.runUntil([] { return false; }, std::min(deadline, direct.answersBy));
    // What came meanwhile, also when the daemon took the whole bound.
    direct.query->readAnswers(1024);
}

// The hosts behind the services a browse found, then those the direct answers named,
// ranked (see computersOfDomain). The full name stays in Avahi's escaped form, which is
// what a lookup hands back to it.
std::vector<DnssdProvider::ListedHost>
hostsOf(const ComputerBrowse& browse, const DirectAsk& direct, const std::string& domainUtf8) {
    std::vector<std::string> fromDaemon;
    for (const auto& service : browse.services)
        if (!service->hostName.empty()) fromDaemon.push_back(withoutFinalDot(service->hostName));
    if (!direct.query) return computersOfDomain({}, fromDaemon, {}, domainUtf8);
    return computersOfDomain(direct.query->roster().ownHosts(), fromDaemon,
                             direct.query->roster().othersHosts(), domainUtf8);
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

std::optional<std::vector<NetResource>> DnssdProvider::children(const NetResource& container) {
    switch (container.dwDisplayType) {
    case RESOURCEDISPLAYTYPE_NETWORK:
    case RESOURCEDISPLAYTYPE_ROOT:
        return domains();
    case RESOURCEDISPLAYTYPE_DOMAIN:
        if (container.lpRemoteName && !container.lpRemoteName->empty())
            return computers(*container.lpRemoteName);
        return std::nullopt;
    default:
        return std::nullopt;
    }
}

namespace {

// The daemon's part of a call is bound by the provider's bound from the call's start, but
// is given at least half of it once the daemon has answered at all (a busy daemon can take
// seconds to open a session), never past one and a half bounds: the scan waits for each
// container a while longer than that (5 s against the default 2.5 s), and a later answer
// would be dropped whole.
AvahiSession::Clock::time_point daemonDeadline(AvahiSession::Clock::time_point started,
                                               std::chrono::milliseconds bound) {
    const auto now = AvahiSession::Clock::now();
    return std::min(std::max(started + bound, now + bound / 2), started + bound * 3 / 2);
}

} // namespace

std::optional<std::vector<NetResource>> DnssdProvider::domains() {
    const auto started = AvahiSession::Clock::now();
    // Declared before the session, so that the session's end (which frees the browsers)
    // comes first and no callback ever sees a browse that is gone.
    const DirectAsk direct = askDirectly("local");
    DomainBrowse browse;
    ComputerBrowse local;
    const std::unique_ptr<AvahiSession> session = AvahiSession::open();
    if (!session) return std::nullopt;
    const DirectWatch watch(direct, *session);
    // A daemon that took the whole bound to open a session is too busy to browse as well
    // (each browser is one more call to it): "local" is then listed with the direct
    // answers alone, rather than the whole answer coming too late for the scan.
    const bool daemonBusy = AvahiSession::Clock::now() >= started + bound_;
    if (!daemonBusy) startDomainBrowse(session->client(), nullptr, browse);
    // Each browse waits about a second for the network's answers. A scan asks for the
    // computers of "local" right after the domains, so that wait is spent now, alongside
    // the domains' own, and the answer kept for that next call.
    if (!daemonBusy) startComputerBrowse(session->client(), "local", local);
    const auto deadline = daemonDeadline(started, bound_);
    session->runUntil([&] { return browse.browsersPending.empty() && local.done(); }, deadline);
    // The daemon lists the network's wide-area domains (its resolver's search domains) but
    // not the browse domains their DNS zones announce, which is where an office lists the
    // computers of its other subnets: those are asked of each wide-area domain in turn.
    const std::vector<std::string> wideArea(browse.names.begin() + 1, browse.names.end());
    for (const std::string& name : wideArea)
        startDomainBrowse(session->client(), name.c_str(), browse);
    session->runUntil([&] { return browse.browsersPending.empty(); }, deadline);
    waitForDirectAnswers(*session, direct, deadline);
    std::vector<NetResource> computersOfLocal = remember(hostsOf(local, direct, "local"));
    {
        std::lock_guard lock(namesMutex_);
        prefetchedLocal_ = std::move(computersOfLocal);
        prefetchedAt_ = AvahiSession::Clock::now();
    }
    std::vector<NetResource> result;
    for (const std::string& name : browse.names)
        result.push_back(record(RESOURCEDISPLAYTYPE_DOMAIN, fromUtf8(name)));
    return result;
}

std::optional<std::vector<NetResource>> DnssdProvider::computers(const std::string& domain) {
    const std::string domainUtf8 = toUtf8(domain);
    if (lowered(withoutFinalDot(domainUtf8)) == "local") {
        std::lock_guard lock(namesMutex_);
        if (prefetchedLocal_ && AvahiSession::Clock::now() - prefetchedAt_ < prefetchLife) {
            std::optional<std::vector<NetResource>> found = std::move(prefetchedLocal_);
            prefetchedLocal_.reset();
            return found;
        }
    }
    const auto started = AvahiSession::Clock::now();
    const DirectAsk direct = askDirectly(domainUtf8);
    ComputerBrowse browse;
    const std::unique_ptr<AvahiSession> session = AvahiSession::open();
    if (!session) return std::nullopt;
    const DirectWatch watch(direct, *session);
    // As for the domains: a daemon too busy to open a session in time is not asked more.
    if (AvahiSession::Clock::now() < started + bound_)
        startComputerBrowse(session->client(), domainUtf8, browse);
    const auto deadline = daemonDeadline(started, bound_);
    // What has not answered by the deadline is left out.
    session->runUntil([&] { return browse.done(); }, deadline);
    waitForDirectAnswers(*session, direct, deadline);
    return remember(hostsOf(browse, direct, domainUtf8));
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
