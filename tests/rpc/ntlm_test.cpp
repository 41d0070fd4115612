// NTLM contexts against impacket's NTLM (tests/rpc/ntlm_peer.py) in both
// roles; the files of identities and users and the factories that find them.
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <cstring>
#include <unistd.h>

#include <gtest/gtest.h>

#include "rpc/credentials.h"
#include "rpc/ntlm.h"
#include "rpc/rpc_auth.h"
#include "rpc/rpc_status.h"
#include "scratch.h"

using namespace vrcore::rpc;
using Bytes = std::vector<uint8_t>;

namespace {

using vrtest::Hex;
using vrtest::Unhex;
std::string Word(const std::string &s) { return s.empty() ? "-" : s; }

// impacket's side, one process for all tests: a command line in, an answer line out.
std::string Ask(const std::string &line) {
    static FILE *to, *from;
    if (!to) {
        int a[2], b[2];
        signal(SIGPIPE, SIG_IGN);
        if (pipe2(a, O_CLOEXEC) || pipe2(b, O_CLOEXEC)) return "";
        if (fork() == 0) {
            dup2(a[0], 0), dup2(b[1], 1);
            _exit(execl("/usr/bin/timeout", "timeout", "120", "/usr/bin/python3",
                        VRCORE_SOURCE_DIR "/tests/rpc/ntlm_peer.py", nullptr));
        }
        close(a[0]), close(b[1]);
        to = fdopen(a[1], "w"), from = fdopen(b[0], "r");
    }
    char buf[8192] = "";
    fprintf(to, "%s\n", line.c_str()), fflush(to);
    return fgets(buf, sizeof buf, from) ? std::string(buf, strcspn(buf, "\n")) : "";
}

std::shared_ptr<NtlmUserTable> Users() {
    auto t = std::make_shared<NtlmUserTable>();
    t->Add({"", "alice", ntlm::NtOwfV1("Secret1")});
    t->Add({"PRINTING", "Jürgen", ntlm::NtOwfV1("pässwörd")});
    return t;
}

} // namespace

TEST(NtlmClient, ImpacketAcceptsOurAuthenticateAndKey) {
    struct Row {
        const char *challenge;
        NtlmIdentity id;
        const char *kind, *mic;
    } rows[] = {{"v2", {"alice", "", "Secret1"}, "v2", "mic"},
                {"v2notime", {"Jürgen", "PRINTING", "pässwörd"}, "v2", "nomic"},
                {"v1", {"alice", "WORKGROUP", "Secret1"}, "v1", "nomic"},
                {"v1plain", {"alice", "", "Secret1"}, "v1", "nomic"}};
    for (const Row &r : rows) {
        NtlmClientContext client(r.id, "HOST");
        Bytes neg, auth;
        ASSERT_EQ(client.Step({}, &neg), kOk);
        Bytes chal = Unhex(Ask(std::string("challenge ") + r.challenge));
        ASSERT_EQ(client.Step(chal, &auth), kOk);
        EXPECT_TRUE(client.Done());
        EXPECT_EQ(Ask("verify " + r.id.user + " " + r.id.password + " " + Word(r.id.domain) + " " +
                      Hex(neg) + " " + Hex(chal) + " " + Hex(auth)),
                  std::string("ok ") + r.kind + " " + Hex(client.SessionKey()) + " " + r.mic)
            << r.challenge;
    }
}

TEST(NtlmServer, ChecksImpacketLogons) {
    struct Row {
        const char *kind, *user, *password, *domain;
        bool anonymous;
        uint32_t status;
        const char *peer;
    } rows[] = {{"v1", "ALICE", "Secret1", "-", false, kOk, "HOST\\alice"},
                {"v2", "jürgen", "pässwörd", "printing", false, kOk, "PRINTING\\Jürgen"},
                {"v2", "Jürgen", "pässwörd", "OTHER", false, kAccessDenied, ""},
                {"v2", "mallory", "Secret1", "-", false, kAccessDenied, ""},
                {"v2", "-", "-", "-", true, kOk, ""},
                {"v2", "-", "-", "-", false, kAccessDenied, ""}};
    for (const Row &r : rows) {
        NtlmServerContext server(Users(), {"HOST", "", "host.example", "example", r.anonymous});
        std::string neg = Ask(std::string("negotiate ") + r.kind);
        Bytes chal, none;
        ASSERT_EQ(server.Step(Unhex(neg), &chal), kOk);
        std::string answer = Ask(std::string("authenticate ") + r.kind + " " + r.user + " " +
                                 r.password + " " + r.domain + " " + neg + " " + Hex(chal));
        size_t space = answer.find(' ');
        ASSERT_EQ(server.Step(Unhex(answer.substr(0, space)), &none), r.status)
            << r.user << " " << r.kind;
        if (r.status == kOk) {
            EXPECT_EQ(server.Peer(), r.peer);
            EXPECT_EQ(Hex(server.SessionKey()), answer.substr(space + 1));
        }
    }
}

TEST(NtlmServer, RefusesDamagedAuthenticateFromOurClient) {
    // Undamaged, then a byte changed in the MIC, the proof, the NT field's
    // offset, and the last byte cut.
    for (int i = -1; i < 4; ++i) {
        NtlmClientContext client({"alice", "", "Secret1"});
        NtlmServerContext server(Users(), {"HOST", "", "", "", false});
        Bytes neg, chal, auth, none;
        ASSERT_EQ(client.Step({}, &neg), kOk);
        ASSERT_EQ(server.Step(neg, &chal), kOk);
        ASSERT_EQ(client.Step(chal, &auth), kOk);
        size_t at[] = {72, size_t(auth[24] | auth[25] << 8), 24};
        if (i == 3)
            auth.pop_back();
        else if (i >= 0)
            auth[at[i]] ^= 0x40;
        EXPECT_EQ(server.Step(auth, &none), i < 0 ? kOk : kAccessDenied) << i;
        if (i < 0) {
            EXPECT_EQ(server.SessionKey(), client.SessionKey());
        }
        EXPECT_EQ(server.Done(), i < 0);
    }
}

TEST(NtlmFiles, OwnershipAndFormatRules) {
    vrtest::ScratchDir dir;
    std::string auth = dir.Path() + "/auth", users = dir.Path() + "/users",
                missing = dir.Path() + "/none";
    const std::string good_auth =
        "# mine\r\n\n  Username = bob \r\npassword=p w\ndomain =PRINTING\nother = x\n";
    const std::string good_users =
        "# users\nalice:8846F7EAEE8FB117AD06BDD830B7586C\n\nPRINTING\\bob : "
        "0cb6948805f797bf2a82807973b89537\n";
    struct Row {
        bool user_file;
        std::string text;
        mode_t mode;
        uid_t owner;
        uint32_t status;
    } rows[] = {{false, good_auth, 0600, 0, kOk},
                {false, good_auth, 0400, 0, kOk},
                {false, good_auth, 0640, 0, kAccessDenied},
                {false, good_auth, 0602, 0, kAccessDenied},
                {false, good_auth, 0600, 65534, kAccessDenied},
                {false, "password = x\n", 0600, 0, kInvalidData},
                {false, "username bob\n", 0600, 0, kInvalidData},
                {true, good_users, 0600, 0, kOk},
                {true, good_users, 0644, 0, kAccessDenied},
                {true, "alice:8846f7eaee8fb117ad06bdd830b7586\n", 0600, 0, kInvalidData},
                {true, "\\alice:8846f7eaee8fb117ad06bdd830b7586c\n", 0600, 0, kInvalidData},
                {true, "alice 8846f7eaee8fb117ad06bdd830b7586c\n", 0600, 0, kInvalidData}};
    for (const Row &r : rows) {
        const std::string &path = r.user_file ? users : auth;
        vrtest::WriteFile(path, r.text);
        ASSERT_EQ(chmod(path.c_str(), r.mode), 0);
        if (chown(path.c_str(), r.owner ? r.owner : geteuid(), -1) != 0 ||
            (r.owner && geteuid() != 0))
            continue;
        NtlmIdentity id;
        NtlmUserTable table;
        EXPECT_EQ(r.user_file ? ReadUserFile(path, &table) : ReadAuthFile(path, &id), r.status)
            << r.text;
        if (r.status == kOk && r.user_file) {
            ASSERT_TRUE(table.Find("printing", "BOB"));
            EXPECT_EQ(Hex(table.Find("x", "Alice")->nt_hash), "8846f7eaee8fb117ad06bdd830b7586c");
            EXPECT_FALSE(table.Find("OTHER", "bob"));
        } else if (r.status == kOk) {
            EXPECT_EQ(id.user + "|" + id.password + "|" + id.domain, "bob|p w|PRINTING");
        }
    }
    NtlmIdentity id;
    EXPECT_EQ(ReadAuthFile(dir.Path(), &id), kAccessDenied);
    EXPECT_EQ(ReadAuthFile(missing, &id), kFileNotFound);
    // The default identity: the environment, else the registry, else anonymous.
    vrtest::WriteFile(dir.Path() + "/r.reg",
                      "[HKEY_LOCAL_MACHINE\\Software\\Halvane\\Tessaril\\odp]\n"
                      "\"CredentialsFile\"=\"" +
                          auth + "\"\n\"UserFile\"=\"" + users + "\"\n");
    setenv("VRCORE_REGISTRY", (dir.Path() + "/r.reg").c_str(), 1);
    vrtest::WriteFile(auth, good_auth);
    setenv("VRCORE_CREDENTIALS", missing.c_str(), 1);
    EXPECT_EQ(DefaultIdentity(&id), kFileNotFound);
    unsetenv("VRCORE_CREDENTIALS");
    EXPECT_EQ(DefaultIdentity(&id), kOk);
    EXPECT_EQ(id.user, "bob");
    // The server's user file: the one given, else VRCORE_USERS, else the registry's.
    vrtest::WriteFile(users, good_users);
    SecurityFactory factory;
    EXPECT_EQ(ServerNtlm("", {}, &factory), kOk);
    setenv("VRCORE_USERS", auth.c_str(), 1); // not a user file
    EXPECT_EQ(ServerNtlm("", {}, &factory), kInvalidData);
    EXPECT_EQ(ServerNtlm(users, {}, &factory), kOk);
    unsetenv("VRCORE_USERS");
    setenv("VRCORE_REGISTRY", missing.c_str(), 1);
    EXPECT_EQ(DefaultIdentity(&id), kOk);
    EXPECT_EQ(id.user, "");
    EXPECT_EQ(ServerNtlm("", {}, &factory), kFileNotFound);
    unsetenv("VRCORE_REGISTRY");
}
