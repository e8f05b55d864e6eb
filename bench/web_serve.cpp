// Requests per second, 99th-percentile latency and resident memory of
// `vela-cli serve` on loopback, over a database of 100,000 articles in 20
// schemes: wrk (Debian's wrk) with 16 connections on /feed.atom (50 entries) and
// on / (the first page), 10 seconds each. wrk runs one thread: on a machine of two
// cores a second one would take the server's processor time.
//
//   build/bench/vela_web_serve [seconds]

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "fetch/encoding.h"
#include "store/database.h"
#include "store/sql_clean.h"
#include "tests/support/child_process.h"
#include "tests/support/test_database.h"

extern char** environ;

namespace {

constexpr int kSchemes = 20;
constexpr int kArticles = 100'000;

std::string FileText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// A line's value from /proc/PID/status, in kB.
long StatusKb(pid_t pid, const std::string& field) {
    const std::string status = FileText("/proc/" + std::to_string(pid) + "/status");
    const std::size_t at = status.find(field + ":");
    return at == std::string::npos ? -1 : std::atol(status.c_str() + at + field.size() + 1);
}

void Fill(const std::string& path) {
    vela::Database db;
    db.OpenDatabase(path, false);
    std::string sql = "begin;";
    for (int s = 1; s <= kSchemes; ++s) {
        sql += "insert into rule(id,name,url,isdo) values(" + std::to_string(s) + ",'" +
               vela::SqlQuote(vela::Gbk("论坛版面 ") + std::to_string(s)) +
               "','http://bbs.example/','1');";
    }
    db.ExecSql(sql + "commit;");
    const std::string title = vela::Gbk("【讨论】关于新版本发布后的若干问题与解决办法，第 ");
    const std::string name = vela::Gbk("论坛版面 ");
    for (int done = 0; done < kArticles;) {
        sql = "begin;";
        for (int i = 0; i < 5000; ++i, ++done) {
            const int scheme = done % kSchemes + 1;
            sql += "insert into info(planname,planid,title,url,other,addtime,issoucang) values('" +
                   name + std::to_string(scheme) + "','" + std::to_string(scheme) + "','" + title +
                   std::to_string(done) + "','http://bbs.example/thread-" + std::to_string(done) +
                   "-1-1.html','" + vela::Gbk("回复 ") + std::to_string(done % 97) +
                   "','2026-12-11 9:" + std::to_string(done % 60) + " " +
                   std::to_string(done % 60) + "','" + (done % 50 == 0 ? "1" : "0") + "');";
        }
        db.ExecSql(sql + "commit;");
    }
}

pid_t Spawn(const std::vector<std::string>& args, const std::string& errPath) {
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string seconds = argc > 1 ? argv[1] : "10";
    vela::test::TestDatabaseFile file;
    const auto filling = std::chrono::steady_clock::now();
    Fill(file.path());
    std::printf("database: %d articles in %d schemes, filled in %.1f s\n", kArticles, kSchemes,
                std::chrono::duration<double>(std::chrono::steady_clock::now() - filling).count());

    const std::string errPath = file.dir() + "/serve.err";
    const pid_t serve =
        Spawn({VELA_CLI, "serve", "--db", file.path(), "--listen", "127.0.0.1:0"}, errPath);
    int port = 0;
    for (int i = 0; i < 100 && port == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const std::string err = FileText(errPath);
        const std::size_t at = err.find("serving http://127.0.0.1:");
        if (at != std::string::npos) port = std::atoi(err.c_str() + at + 25);
    }
    if (serve < 0 || port == 0) {
        std::fprintf(stderr, "vela-cli serve did not start\n");
        return 1;
    }
    std::printf("serve: idle resident %ld KiB\n", StatusKb(serve, "VmRSS"));
    for (const char* path : {"/feed.atom", "/"}) {
        const std::string url = "http://127.0.0.1:" + std::to_string(port) + path;
        const vela::test::ChildOutcome run = vela::test::RunChild(
            "/usr/bin/wrk", {"-t1", "-c16", "-d" + seconds + "s", "--latency", url}, file.dir());
        // "Requests/sec:   1234.56" and, in the latency distribution, "99%   1.23ms".
        const auto field = [&](const std::string& label) {
            const std::size_t at = run.out.find(label);
            if (at == std::string::npos) return std::string("?");
            std::istringstream in(run.out.substr(at + label.size()));
            std::string value;
            in >> value;
            return value;
        };
        std::printf("%-11s requests/s %s, p99 %s, errors: %s\n", path,
                    field("Requests/sec:").c_str(), field("\n     99%").c_str(),
                    run.out.find("Non-2xx") == std::string::npos &&
                            run.out.find("Socket errors") == std::string::npos
                        ? "none"
                        : "SOME");
    }
    std::printf("serve: resident %ld KiB now, peak %ld KiB\n", StatusKb(serve, "VmRSS"),
                StatusKb(serve, "VmHWM"));
    ::kill(serve, SIGTERM);
    ::waitpid(serve, nullptr, 0);
    return 0;
}
