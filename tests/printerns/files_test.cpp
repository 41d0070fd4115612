// The printers file and the user file: reading hand-edited files, writing
// records back, concurrent writers, change detection; BSD addresses.
#include <fcntl.h>
#include <sys/stat.h>

#include <atomic>
#include <set>
#include <thread>

#include "nameservice/pns_internal.h"
#include "pns_test_util.h"

using namespace pnstest;

namespace {

// The file as written: the header comment, then the entries.
std::string Written(const char *entries) {
    return std::string(
               "#\n#\tIf you hand edit this file, comments and structure may change.\n#\n") +
           entries;
}

class PnsFiles : public Env {};

TEST_F(PnsFiles, HandEditedFileReadsWithContinuationsCommentsAliases) {
    WriteFile(etc,
              "# printers of the second floor\n\n"
              "lab|lab2|color:\\\n\t:bsdaddr=prsrv,lab:\\\n   # not a comment inside an entry\\\n"
              "\t:spooling-type=lpd:\n  # an indented comment\nonlyname\nnoattrs|x:\n"
              "dup:note=first:\ndup:note=second:\r\nlast:note=no newline at the end");
    ns_printer_t *p = ns_printer_get_name("color", "etc");
    ASSERT_NE(p, nullptr);
    ASSERT_NE(p->aliases, nullptr);
    EXPECT_EQ(std::string(p->name) + "|" + p->aliases[0] + "|" + p->aliases[1] + "@" + p->source,
              "lab|lab2|color@etc");
    ns_printer_destroy(p);
    for (auto [name, key, value] : {std::tuple{"lab2", "bsdaddr", "prsrv,lab"},
                                    {"lab", "spooling-type", "lpd"},
                                    {"dup", "note", "first"},
                                    {"last", "note", "no newline at the end"}})
        EXPECT_EQ(ValueOf(name, key), value) << name;
    EXPECT_EQ(NamesOf(ns_printer_get_list("etc")),
              (std::vector<std::string>{"lab", "dup", "dup", "last"}));
}

TEST_F(PnsFiles, PutRewritesCanonicallyAndUnsetRemoves) {
    WriteFile(etc, "# hand comment\na|a1:k=1:\\\n  :j=2:\ntarget|t1:old=1:\nb:k=3:\n");
    chmod(etc.c_str(), 0640);
    ns_printer_t *p = ns_printer_get_name("t1", "etc");
    ASSERT_NE(p, nullptr);
    ASSERT_EQ(ns_set_value_from_string("old", nullptr, p), 0);
    ASSERT_EQ(ns_set_value_from_string("bsdaddr", "h,q", p), 0);
    ASSERT_EQ(ns_set_value_from_string("note", "x y", p), 0);
    ASSERT_EQ(ns_printer_put(p), 0);
    EXPECT_EQ(ReadFile(etc), Written("a|a1:\\\n\t:k=1:\\\n\t:j=2:\n"
                                     "target|t1:\\\n\t:bsdaddr=h,q:\\\n\t:note=x y:\n"
                                     "b:\\\n\t:k=3:\n"));
    struct stat st {};
    ASSERT_EQ(stat(etc.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);

    // A new record is appended; one with nothing set removes its entry.
    ASSERT_EQ(Put("new", "etc", {{"k", "v"}}), 0);
    ASSERT_EQ(ns_set_value(nullptr, nullptr, p), 0);
    ASSERT_EQ(ns_printer_put(p), 0);
    ns_printer_destroy(p);
    EXPECT_EQ(ReadFile(etc),
              Written("a|a1:\\\n\t:k=1:\\\n\t:j=2:\nb:\\\n\t:k=3:\nnew:\\\n\t:k=v:\n"));
    EXPECT_FALSE(std::filesystem::exists(etc + "-"));

    // What the format cannot hold is refused and the file left alone.
    std::string before = ReadFile(etc);
    for (auto [name, note] : {std::pair{"bad", "a:b"}, {"bad|x", "v"}})
        EXPECT_EQ(Put(name, "etc", {{"note", note}}), -1) << name;
    ns_printer_t *posix = ns_printer_get_name("h:q", nullptr);
    EXPECT_EQ(ns_printer_put(posix), -1);
    ns_printer_destroy(posix);
    EXPECT_EQ(ReadFile(etc), before);
}

TEST_F(PnsFiles, UserFileReadsAndWritesItsForm) {
    WriteFile(user, "# mine\nhome|h\tlab\n_all\tlab, other\nbare\n");
    WriteFile(etc, "lab:bsdaddr=srv:\nother:bsdaddr=srv2,o:\n");
    EXPECT_EQ(ValueOf("h", "use", "user"), "lab");
    EXPECT_EQ(ValueOf("_all", "all"), "lab,other");
    EXPECT_EQ(ValueOf("home", "bsdaddr"),
              "srv"); // the user file first, its "use" leads to the printers file
    ASSERT_EQ(Put("desk", "user", {{"use", "other"}}), 0);
    ns_printer_t *p = ns_printer_get_name("home", "user");
    ASSERT_EQ(ns_set_value_from_string("use", nullptr, p), 0);
    ASSERT_EQ(ns_printer_put(p), 0);
    ns_printer_destroy(p);
    EXPECT_EQ(ReadFile(user), Written("_all\tlab,other\ndesk\tother\n"));
}

// Writers in two processes, and two threads of this one, lose no record;
// meanwhile readers never find the file missing, a record lost or a change
// half made.
TEST_F(PnsFiles, ProcessesAndThreadsWriteWhileOthersRead) {
    WriteFile(etc, "fixed:k=v:\n");
    uint32_t before = vrcore::nameservice::pns::ReadChangeCounter(etc);
    auto writer = [](const char *prefix) {
        return [prefix] {
            for (int i = 0; i < 50; ++i)
                if (Put(Numbered(prefix, i).c_str(), "etc",
                        {{"bsdaddr", ("srv," + Numbered(prefix, i)).c_str()}}))
                    return 1;
            return 0;
        };
    };
    pid_t a = vrtest::Spawn(writer("a")), b = vrtest::Spawn(writer("b"));
    std::atomic<bool> stop{false};
    std::atomic<int> bad{0};
    std::vector<std::thread> threads;
    threads.emplace_back([&] {
        while (!stop) bad += access(etc.c_str(), F_OK) != 0;
    });
    threads.emplace_back([&] {
        for (size_t last = 0, n; !stop; last = n)
            bad += (n = NamesOf(ns_printer_get_list("etc")).size()) < last;
    });
    std::vector<std::thread> writers;
    for (const char *prefix : {"x", "y"})
        writers.emplace_back([&, prefix] { bad += writer(prefix)(); });
    for (auto &w : writers) w.join();
    for (pid_t k : {a, b}) EXPECT_EQ(vrtest::WaitStatus(k), 0);
    stop = true;
    for (auto &t : threads) t.join();
    EXPECT_EQ(bad.load(), 0);
    EXPECT_EQ(vrcore::nameservice::pns::ReadChangeCounter(etc), before + 200);
    auto names = NamesOf(ns_printer_get_list("etc"));
    EXPECT_EQ(names.size(), 201u);
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), 201u);
    EXPECT_EQ(ValueOf("b49", "bsdaddr"), "srv,b49");
    // A file whose lock file cannot be made is not written.
    setenv("PRINTERS_CONF", (dir + "/missing/printers.cnf").c_str(), 1);
    EXPECT_EQ(Put("z", "etc", {{"k", "v"}}), -1);
    EXPECT_EQ(ns_printer_get_name("z", "etc"), nullptr);
}

TEST_F(PnsFiles, ReadersReloadAfterEveryChange) {
    WriteFile(etc, "p:n=0:\n");
    EXPECT_EQ(ValueOf("p", "n"), "0");
    // Another process writes; its change is seen at once, even within the same clock tick.
    for (int i = 1; i <= 20; ++i) {
        ASSERT_EQ(InChild([&] {
                      return Put("p", "etc", {{"n", std::to_string(i).c_str()}}) == 0 ? 0 : 1;
                  }),
                  0);
        ASSERT_EQ(ValueOf("p", "n"), std::to_string(i));
    }
    // A hand edit that keeps time stamp and size is seen through the counter...
    struct stat st {};
    ASSERT_EQ(stat(etc.c_str(), &st), 0);
    std::string text = ReadFile(etc);
    ASSERT_NE(text.find("n=20:"), std::string::npos);
    WriteFile(etc, text.replace(text.find("n=20:"), 5, "n=ab:"));
    struct timespec times[2] = {st.st_atim, st.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, etc.c_str(), times, 0), 0);
    EXPECT_EQ(ValueOf("p", "n"), "20"); // nothing says it changed
    uint32_t c = vrcore::nameservice::pns::ReadChangeCounter(etc) + 1;
    unsigned char b[4] = {uint8_t(c >> 24), uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)};
    int fd = open((etc + ".LCK").c_str(), O_WRONLY);
    ASSERT_EQ(pwrite(fd, b, 4, 0), 4);
    close(fd);
    EXPECT_EQ(ValueOf("p", "n"), "ab");
    // ...and one that does not touch the counter through the time.
    WriteFile(etc, "p:n=again:\n");
    times[1].tv_sec += 5;
    ASSERT_EQ(utimensat(AT_FDCWD, etc.c_str(), times, 0), 0);
    EXPECT_EQ(ValueOf("p", "n"), "again");
    ASSERT_EQ(stat((etc + ".LCK").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0666u); // the lock file is shared by everyone
}

TEST_F(PnsFiles, WhereTheFilesAre) {
    using vrcore::nameservice::pns::UserFilePath;
    std::string win = dir + "/win";
    std::filesystem::create_directory(win);
    setenv("windir", win.c_str(), 1);
    EXPECT_EQ(vrcore::nameservice::pns::EtcFilePath(), etc);
    unsetenv("PRINTERS_CONF");
    EXPECT_EQ(vrcore::nameservice::pns::EtcFilePath(), win + "/printers.cnf");
    WriteFile(dir + "/none.reg", "[HKEY_LOCAL_MACHINE\\Software\\Halvane\\Tessaril]\n"
                                 "\"PrintersConf\"=str(2):\"%windir%/from-registry.cnf\"\n");
    WriteFile(win + "/from-registry.cnf", "reg:k=v:\n");
    EXPECT_EQ(ValueOf("reg", "k"), "v");
    // Without HOME the user file is the configuration directory's.
    unsetenv("HOME");
    EXPECT_EQ(UserFilePath(), win + "/printers.usr");
}

// "server,printer@pname" of each address up to the first null, all released.
std::vector<std::string> AddrTexts(std::vector<ns_bsd_addr_t *> list) {
    std::vector<std::string> out;
    for (auto it = list.begin(); it != list.end() && *it; free(*it++))
        out.push_back(std::string((*it)->server) + "," + ((*it)->printer ?: "-") + "@" +
                      ((*it)->pname ?: "-"));
    return out;
}
std::vector<std::string> AddrTexts(ns_bsd_addr_t **list) {
    size_t n = 0;
    while (list && list[n]) ++n;
    auto out = AddrTexts(std::vector<ns_bsd_addr_t *>(list, list + n));
    return free(list), out;
}

TEST_F(PnsFiles, BsdAddresses) {
    EXPECT_EQ(ValueOf("srv:queue:ext", "bsdaddr", "etc"), "srv,queue,ext");
    WriteFile(etc, "lp1:bsdaddr=s1:\nlp2|two:bsdaddr=s2,q2:\nsame:bsdaddr=s2,q2:\n_default:use=lp2:"
                   "\nnoaddr:note=x:\n");
    using V = std::vector<std::string>;
    EXPECT_EQ(AddrTexts({ns_bsd_addr_get_name("two"), ns_bsd_addr_get_name("lp1"),
                         ns_bsd_addr_get_name("noaddr")}),
              (V{"s2,q2@two", "s1,lp1@lp1"})); // the record's name stands in for a missing queue
    EXPECT_EQ(AddrTexts(ns_bsd_addr_get_list()), (V{"s1,lp1@lp1", "s2,q2@lp2"}));
    EXPECT_EQ(AddrTexts({ns_bsd_addr_get_default()})[0].substr(0, 6), "s2,q2@");
    EXPECT_EQ(AddrTexts(ns_bsd_addr_get_all()), (V{"s2,q2@_default", "s1,lp1@lp1"}));

    // "_all" chooses the printers; PRINTER chooses the default.
    WriteFile(user, "_all\tlp1,two,lp1\n");
    setenv("PRINTER", "lp1", 1);
    EXPECT_EQ(AddrTexts(ns_bsd_addr_get_all()), (V{"s1,lp1@lp1", "s2,q2@two"}));
    for (int round = 0; round < 2; ++round) {
        std::vector<ns_bsd_addr_t *> seen;
        while (ns_bsd_addr_t *x = ns_bsd_addr_get_all_once()) seen.push_back(x);
        EXPECT_EQ(AddrTexts(seen), (V{"s1,lp1@lp1", "s2,q2@two"}));
    }
}

} // namespace
