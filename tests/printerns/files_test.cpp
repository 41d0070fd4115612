// The printers file and the user file: reading hand-edited files, writing
// records back, concurrent writers, change detection; the service order;
// BSD addresses.
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
std::string written(const char *entries) {
    std::string s = "#\n#\tIf you hand edit this file, comments and structure may change.\n#\n";
    s.append(entries);
    return s;
}

class PnsFiles : public Env {};

TEST_F(PnsFiles, HandEditedFileReadsWithContinuationsCommentsAliases) {
    WriteFile(etc, "# printers of the second floor\n"
                   "\n"
                   "lab|lab2|color:\\\n"
                   "\t:bsdaddr=prsrv,lab:\\\n"
                   "   # not a comment inside an entry\\\n"
                   "\t:spooling-type=lpd:\n"
                   "  # an indented comment\n"
                   "onlyname\n"
                   "noattrs|x:\n"
                   "dup:note=first:\n"
                   "dup:note=second:\r\n"
                   "last:note=no newline at the end");
    ns_printer_t *p = ns_printer_get_name("color", "etc");
    ASSERT_NE(p, nullptr);
    EXPECT_STREQ(p->name, "lab");
    ASSERT_NE(p->aliases, nullptr);
    EXPECT_STREQ(p->aliases[0], "lab2");
    EXPECT_STREQ(p->aliases[1], "color");
    EXPECT_STREQ(p->source, "etc");
    ns_printer_destroy(p);
    EXPECT_EQ(value_of("lab2", "bsdaddr"), "prsrv,lab");
    EXPECT_EQ(value_of("lab", "spooling-type"), "lpd");
    EXPECT_EQ(value_of("dup", "note"), "first");
    EXPECT_EQ(value_of("last", "note"), "no newline at the end");
    EXPECT_EQ(ns_printer_get_name("onlyname", nullptr), nullptr);
    EXPECT_EQ(ns_printer_get_name("noattrs", nullptr), nullptr);
    ns_printer_t **all = ns_printer_get_list("etc");
    EXPECT_EQ(names_of(all), (std::vector<std::string>{"lab", "dup", "dup", "last"}));
    free_records(all);
}

TEST_F(PnsFiles, PutRewritesCanonicallyAndUnsetRemoves) {
    WriteFile(etc, "# hand comment\n"
                   "a|a1:k=1:\\\n  :j=2:\n"
                   "target|t1:old=1:\n"
                   "b:k=3:\n");
    chmod(etc.c_str(), 0640);
    ns_printer_t *p = ns_printer_get_name("t1", "etc");
    ASSERT_NE(p, nullptr);
    ASSERT_EQ(ns_set_value_from_string("old", nullptr, p), 0);
    ASSERT_EQ(ns_set_value_from_string("bsdaddr", "h,q", p), 0);
    ASSERT_EQ(ns_set_value_from_string("note", "x y", p), 0);
    ASSERT_EQ(ns_printer_put(p), 0);
    EXPECT_EQ(ReadFile(etc), written(
                              "a|a1:\\\n\t:k=1:\\\n\t:j=2:\n"
                              "target|t1:\\\n\t:bsdaddr=h,q:\\\n\t:note=x y:\n"
                              "b:\\\n\t:k=3:\n"));
    struct stat st {};
    ASSERT_EQ(stat(etc.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(value_of("target", "note"), "x y");

    // A new record is appended; one with nothing set removes its entry.
    ASSERT_EQ(put("new", "etc", {{"k", "v"}}), 0);
    ASSERT_EQ(ns_set_value(nullptr, nullptr, p), 0);
    ASSERT_EQ(ns_printer_put(p), 0);
    ns_printer_destroy(p);
    EXPECT_EQ(ReadFile(etc), written("a|a1:\\\n\t:k=1:\\\n\t:j=2:\nb:\\\n\t:k=3:\nnew:\\\n\t:k=v:\n"));
    EXPECT_EQ(ns_printer_get_name("target", nullptr), nullptr);
    EXPECT_FALSE(std::filesystem::exists(etc + "-"));

    // What the format cannot hold is refused and the file left alone.
    std::string before = ReadFile(etc);
    for (auto [name, note] : {std::pair{"bad", "a:b"}, {"bad|x", "v"}}) EXPECT_EQ(put(name, "etc", {{"note", note}}), -1) << name;
    ns_printer_t *posix = ns_printer_get_name("h:q", nullptr);
    EXPECT_EQ(ns_printer_put(posix), -1);
    ns_printer_destroy(posix);
    EXPECT_EQ(ReadFile(etc), before);
}

TEST_F(PnsFiles, UserFileReadsAndWritesItsForm) {
    WriteFile(user, "# mine\n"
                    "home|h\tlab\n"
                    "_all\tlab, other\n"
                    "bare\n");
    WriteFile(etc, "lab:bsdaddr=srv:\nother:bsdaddr=srv2,o:\n");
    EXPECT_EQ(value_of("h", "use", "user"), "lab");
    EXPECT_EQ(value_of("_all", "all"), "lab,other");
    // The user file comes first; its "use" leads to the printers file.
    EXPECT_EQ(value_of("home", "bsdaddr"), "srv");

    ASSERT_EQ(put("desk", "user", {{"use", "other"}}), 0);
    ns_printer_t *p = ns_printer_get_name("home", "user");
    ASSERT_EQ(ns_set_value_from_string("use", nullptr, p), 0);
    ASSERT_EQ(ns_printer_put(p), 0);
    ns_printer_destroy(p);
    EXPECT_EQ(ReadFile(user), written("_all\tlab,other\ndesk\tother\n"));
}

// Readers never find the file missing or a record lost while writers
// replace it.
TEST_F(PnsFiles, ThreadsReadWhileOthersWrite) {
    WriteFile(etc, "fixed:k=v:\n");
    std::atomic<bool> stop{false};
    std::atomic<int> bad{0}, missing{0};
    std::vector<std::thread> readers;
    readers.emplace_back([&] {
        while (!stop)
            if (access(etc.c_str(), F_OK) != 0) ++missing;
    });
    for (int r = 0; r < 2; ++r)
        readers.emplace_back([&] {
            while (!stop)
                if (value_of("fixed", "k") != "v") ++bad;
        });
    std::vector<std::thread> writers;
    for (const char *prefix : {"x", "y"})
        writers.emplace_back([&, prefix] {
            for (int i = 0; i < 40; ++i)
                if (put(numbered(prefix, i).c_str(), "etc", {{"k", "w"}}) != 0) ++bad;
        });
    for (auto &w : writers) w.join();
    stop = true;
    for (auto &r : readers) r.join();
    EXPECT_EQ(bad.load(), 0);
    EXPECT_EQ(missing.load(), 0);
    ns_printer_t **all = ns_printer_get_list("etc");
    EXPECT_EQ(names_of(all).size(), 81u);
    free_records(all);
    // A file whose lock file cannot be made is not written.
    setenv("PRINTERS_CONF", (dir + "/missing/printers.cnf").c_str(), 1);
    EXPECT_EQ(put("z", "etc", {{"k", "v"}}), -1);
    EXPECT_EQ(ns_printer_get_name("z", "etc"), nullptr);
}

TEST_F(PnsFiles, TwoProcessesWriteWithoutLosingRecords) {
    WriteFile(etc, "");
    uint32_t before = vrcore::pns::read_change_counter(etc);
    auto writer = [&](const char *prefix) {
        return [&, prefix] {
            for (int i = 0; i < 100; ++i) {
                std::string name = numbered(prefix, i);
                if (put(name.c_str(), "etc", {{"bsdaddr", ("srv," + name).c_str()}}) != 0) return 1;
            }
            return 0;
        };
    };
    pid_t a = vrtest::Spawn(writer("a")), b = vrtest::Spawn(writer("b"));
    // Meanwhile this process reads: each change it sees is complete.
    size_t last = 0;
    for (int spin = 0; spin < 400; ++spin) {
        ns_printer_t **all = ns_printer_get_list("etc");
        size_t n = names_of(all).size();
        EXPECT_GE(n, last);
        last = n;
        free_records(all);
    }
    for (pid_t k : {a, b}) {
        int st = vrtest::WaitStatus(k);
        ASSERT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0);
    }
    EXPECT_EQ(vrcore::pns::read_change_counter(etc), before + 200);
    ns_printer_t **all = ns_printer_get_list("etc");
    auto names = names_of(all);
    free_records(all);
    std::set<std::string> unique(names.begin(), names.end());
    EXPECT_EQ(names.size(), 200u);
    EXPECT_EQ(unique.size(), 200u);
    EXPECT_EQ(value_of("b99", "bsdaddr"), "srv,b99");
}

TEST_F(PnsFiles, ReadersReloadAfterEveryChange) {
    WriteFile(etc, "p:n=0:\n");
    EXPECT_EQ(value_of("p", "n"), "0");
    // Another process writes; its change is seen at once, even within the
    // same clock tick.
    for (int i = 1; i <= 20; ++i) {
        ASSERT_EQ(InChild([&] { return put("p", "etc", {{"n", std::to_string(i).c_str()}}) == 0 ? 0 : 1; }), 0);
        ASSERT_EQ(value_of("p", "n"), std::to_string(i));
    }
    // A hand edit that keeps time stamp and size is seen through the
    // counter...
    struct stat st {};
    ASSERT_EQ(stat(etc.c_str(), &st), 0);
    std::string text = ReadFile(etc);
    ASSERT_NE(text.find("n=20:"), std::string::npos);
    text.replace(text.find("n=20:"), 5, "n=ab:");
    WriteFile(etc, text);
    struct timespec times[2] = {st.st_atim, st.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, etc.c_str(), times, 0), 0);
    EXPECT_EQ(value_of("p", "n"), "20"); // nothing says it changed
    uint32_t c = vrcore::pns::read_change_counter(etc) + 1;
    unsigned char b[4] = {uint8_t(c >> 24), uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)};
    int fd = open((etc + ".LCK").c_str(), O_WRONLY);
    ASSERT_EQ(pwrite(fd, b, 4, 0), 4);
    close(fd);
    EXPECT_EQ(value_of("p", "n"), "ab");
    // ...and one that does not touch the counter through the time.
    WriteFile(etc, "p:n=again:\n");
    times[1].tv_sec += 5;
    ASSERT_EQ(utimensat(AT_FDCWD, etc.c_str(), times, 0), 0);
    EXPECT_EQ(value_of("p", "n"), "again");
    // The lock file is shared by everyone.
    ASSERT_EQ(stat((etc + ".LCK").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0666u);
}

TEST_F(PnsFiles, WhereTheFilesAre) {
    using vrcore::pns::etc_file_path;
    using vrcore::pns::user_file_path;
    std::string win = dir + "/win";
    std::filesystem::create_directory(win);
    setenv("windir", win.c_str(), 1);
    EXPECT_EQ(etc_file_path(), etc);
    unsetenv("PRINTERS_CONF");
    EXPECT_EQ(etc_file_path(), win + "/printers.cnf");
    WriteFile(dir + "/none.reg", "[HKEY_LOCAL_MACHINE\\Software\\Halvane\\Tessaril]\n"
                                 "\"PrintersConf\"=str(2):\"%windir%/from-registry.cnf\"\n");
    EXPECT_EQ(etc_file_path(), win + "/from-registry.cnf");
    WriteFile(win + "/from-registry.cnf", "reg:k=v:\n");
    EXPECT_EQ(value_of("reg", "k"), "v");

    EXPECT_EQ(user_file_path(), dir + "/printers.usr"); // HOME
    setenv("HOMEDRIVE", "/drive", 1);
    EXPECT_EQ(user_file_path(), dir + "/printers.usr"); // HOMEPATH missing
    setenv("HOMEPATH", "/users/me", 1);
    EXPECT_EQ(user_file_path(), "/drive/users/me/printers.usr");
    setenv("HOMEPATH", std::string(600, 'x').c_str(), 1);
    EXPECT_EQ(user_file_path(), dir + "/printers.usr"); // too long
    unsetenv("HOMEDRIVE");
    unsetenv("HOME");
    EXPECT_EQ(user_file_path(), win + "/printers.usr");
}

TEST_F(PnsFiles, ServiceOrderConfiguration) {
    std::string conf = dir + "/nsswitch.cnf";
    int codes[8];
    EXPECT_EQ(ns_get_svc_order("printers", 8, codes), -1);
    WriteFile(conf, "# order\n"
                    "printersx: dns\n"
                    "  printers:\tuser files [NOTFOUND=continue] nisplus nis [ UNAVAIL = return ] xfn\n"
                    "hosts: files wrong\n"
                    "groups: files [NOTFOUND=maybe]\n"
                    "many: user printcap files nis nisplus xfn compat dns\n");
    struct Row {
        const char *db;
        int n, rc;
        std::vector<int> codes;
    };
    for (const Row &r : {Row{"printers", 8, 0, {1, 3, 5, 4, 0}}, Row{"printersx", 8, 0, {8}}, Row{"hosts", 8, -2, {0}},
                         Row{"groups", 8, -2, {}}, Row{"absent", 8, 1, {}}, Row{"many", 4, 0, {1, 2, 3, 0}}}) {
        EXPECT_EQ(ns_get_svc_order(r.db, r.n, codes), r.rc) << r.db;
        EXPECT_EQ(std::vector<int>(codes, codes + r.codes.size()), r.codes) << r.db;
    }
    EXPECT_STREQ(ns_get_svc_string(8), "dns");
    EXPECT_EQ(ns_get_svc_string(0), nullptr);
    EXPECT_EQ(ns_get_svc_string(9), nullptr);
}

// "server,printer@pname" of an address, which is released.
std::string addr_text(ns_bsd_addr_t *a) {
    if (!a) return "<none>";
    std::string out = std::string(a->server) + "," + (a->printer ? a->printer : "-") + "@" +
                      (a->pname ? a->pname : "-");
    free(a);
    return out;
}

std::vector<std::string> addr_texts(ns_bsd_addr_t **list) {
    std::vector<std::string> out;
    for (size_t i = 0; list && list[i]; ++i) out.push_back(addr_text(list[i]));
    free(list);
    return out;
}

TEST_F(PnsFiles, BsdAddresses) {
    ns_printer_t *d = ns_printer_get_name("srv:queue:ext", "etc");
    ASSERT_NE(d, nullptr);
    EXPECT_STREQ(d->source, "posix");
    EXPECT_EQ(value_of("srv:queue:ext", "bsdaddr"), "srv,queue,ext");
    ns_printer_destroy(d);

    WriteFile(etc, "lp1:bsdaddr=s1:\n"
                   "lp2|two:bsdaddr=s2,q2:\n"
                   "same:bsdaddr=s2,q2:\n"
                   "_default:use=lp2:\n"
                   "noaddr:note=x:\n");
    EXPECT_EQ(addr_text(ns_bsd_addr_get_name("two")), "s2,q2@two");
    EXPECT_EQ(addr_text(ns_bsd_addr_get_name("lp1")), "s1,lp1@lp1"); // the record's name stands in
    EXPECT_EQ(addr_text(ns_bsd_addr_get_name("noaddr")), "<none>");
    EXPECT_EQ(addr_texts(ns_bsd_addr_get_list()), (std::vector<std::string>{"s1,lp1@lp1", "s2,q2@lp2"}));
    EXPECT_EQ(addr_text(ns_bsd_addr_get_default()).substr(0, 6), "s2,q2@");
    EXPECT_EQ(addr_texts(ns_bsd_addr_get_all()), (std::vector<std::string>{"s2,q2@_default", "s1,lp1@lp1"}));

    // "_all" chooses the printers; PRINTER chooses the default.
    WriteFile(user, "_all\tlp1,two,lp1\n");
    setenv("PRINTER", "lp1", 1);
    EXPECT_EQ(addr_texts(ns_bsd_addr_get_all()), (std::vector<std::string>{"s1,lp1@lp1", "s2,q2@two"}));
    std::vector<std::string> seen;
    for (int round = 0; round < 2; ++round) {
        seen.clear();
        while (ns_bsd_addr_t *x = ns_bsd_addr_get_all_once()) {
            seen.push_back(x->server);
            free(x);
        }
        EXPECT_EQ(seen, (std::vector<std::string>{"s1", "s2"}));
    }
    EXPECT_EQ(ns_bsd_addr_nis_get_list_once(), nullptr);
}

} // namespace
