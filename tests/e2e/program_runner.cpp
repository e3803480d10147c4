#include "tests/e2e/program_runner.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace {

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void writeFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary);
  out << content;
}

}  // namespace

TempDir::TempDir() {
  const char* base = getenv("TMPDIR");
  std::string pattern = std::string(base ? base : "/tmp") + "/flimmer_run_XXXXXX";
  if (mkdtemp(&pattern[0])) path_ = pattern;
}

TempDir::~TempDir() {
  if (!path_.empty()) system(("rm -rf '" + path_ + "'").c_str());
}

ProgramRun runProgram(const std::vector<std::string>& args,
                      const std::map<std::string, std::string>& env,
                      const std::map<std::string, std::string>& files, int timeoutSeconds,
                      const RunOptions& options) {
  TempDir dir;
  for (const auto& file : files) writeFile(dir.path() + "/" + file.first, file.second);
  const std::string errPath = dir.path() + "/.stderr";
  const std::string logPath = dir.path() + "/.probe.log";

  std::map<std::string, std::string> variables;
  for (char** entry = environ; *entry; ++entry) {
    const char* equals = strchr(*entry, '=');
    if (equals) variables[std::string(*entry, static_cast<size_t>(equals - *entry))] = equals + 1;
  }
  variables["SDL_VIDEODRIVER"] = "dummy";
  variables["LD_PRELOAD"] = FLIMMER_PROBE;
  variables["PROBE_LOG"] = logPath;
  // A sanitized program must accept the probe loaded ahead of its runtime;
  // its reports end it with a status of their own.
  const std::string sanitizerStatus = "exitcode=" + std::to_string(kSanitizerStatus);
  variables["ASAN_OPTIONS"] = "verify_asan_link_order=0:detect_leaks=1:" + sanitizerStatus;
  variables["UBSAN_OPTIONS"] = "print_stacktrace=1:halt_on_error=1:" + sanitizerStatus;
  for (const auto& variable : env) {
    if (variable.second.empty())
      variables.erase(variable.first);
    else
      variables[variable.first] = variable.second;
  }
  std::vector<std::string> envStrings;
  for (const auto& variable : variables)
    envStrings.push_back(variable.first + "=" + variable.second);
  std::vector<char*> envp;
  for (std::string& s : envStrings) envp.push_back(&s[0]);
  envp.push_back(nullptr);

  std::vector<std::string> argStrings{options.program.empty() ? FLIMMER_BINARY : options.program};
  argStrings.insert(argStrings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& s : argStrings) argv.push_back(&s[0]);
  argv.push_back(nullptr);

  ProgramRun run;
  int errPipe[2] = {-1, -1};
  if (options.errorPipe && pipe(errPipe) != 0) return run;
  const auto started = std::chrono::steady_clock::now();
  pid_t child = fork();
  if (child == 0) {
    int err =
        options.errorPipe ? errPipe[1] : open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int null = open("/dev/null", O_RDWR);
    if (err < 0 || null < 0 || chdir(dir.path().c_str()) != 0) _exit(126);
    dup2(null, 0);
    dup2(null, 1);
    dup2(err, 2);
    if (options.errorPipe) close(errPipe[0]);
    for (int fd : options.closed) close(fd);
    // As from a terminal, whatever the test runner ignores.
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    if (options.addressSpace) {
      const rlimit limit{options.addressSpace, options.addressSpace};
      if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(126);
    }
    if (options.user >= 0) {
      const gid_t group = static_cast<gid_t>(options.user);
      if (setgroups(1, &group) != 0 || setgid(group) != 0 ||
          setuid(static_cast<uid_t>(options.user)) != 0)
        _exit(126);
    }
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  if (options.errorPipe) close(errPipe[1]);
  int status = 0;
  bool signalSent = options.signal == 0;
  const auto deadline = started + std::chrono::seconds(timeoutSeconds);
  while (waitpid(child, &status, WNOHANG) == 0) {
    if (!signalSent &&
        ("\n" + readFile(logPath)).find("\n" + options.signalAt) != std::string::npos) {
      kill(child, options.signal);
      signalSent = true;
    }
    if (std::chrono::steady_clock::now() > deadline) {
      run.timedOut = true;
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  if (options.errorPipe) {
    char buffer[4096];
    for (ssize_t got; (got = read(errPipe[0], buffer, sizeof buffer)) > 0;)
      run.err.append(buffer, static_cast<size_t>(got));
    close(errPipe[0]);
  } else {
    run.err = readFile(errPath);
  }
  run.log = readFile(logPath);
  return run;
}

std::vector<std::string> logLines(const ProgramRun& run, const std::string& prefix) {
  std::vector<std::string> lines;
  std::istringstream in(run.log);
  std::string line;
  while (std::getline(in, line))
    if (line.compare(0, prefix.size(), prefix) == 0) lines.push_back(line);
  return lines;
}

std::string settings(const Value& width, const Value& height, const Value& trail,
                     const Value& range, const Value& depth, const Value& fullscreen,
                     const Value& turns, const Value& bounce) {
  return "[FLIM]\nbreite=" + width.text + "\nhoehe=" + height.text +
         "\nschweiflaenge=" + trail.text + "\nrichtungen=" + range.text +
         "\nfarbtiefe=" + depth.text + "\nfullscreen=" + fullscreen.text +
         "\nzuf_richtungswechsel=" + turns.text + "\nconst_geschw=" + bounce.text + "\n";
}

std::string group(const std::string& name, const Value& count, const Value& colour, const Value& x,
                  const Value& y) {
  return "[" + name + "]\nx=" + x.text + "\ny=" + y.text + "\nanz=" + count.text +
         "\nfarbe=" + colour.text + "\n";
}

Picture readPicture(const std::string& path) {
  Picture picture;
  std::ifstream in(path, std::ios::binary);
  std::string magic;
  int maxValue = 0;
  in >> magic >> picture.width >> picture.height >> maxValue;
  in.get();
  if (!in || magic != "P6" || maxValue != 255) return Picture();
  picture.rgb.resize(static_cast<size_t>(picture.width) * picture.height * 3);
  in.read(reinterpret_cast<char*>(picture.rgb.data()),
          static_cast<std::streamsize>(picture.rgb.size()));
  if (!in) return Picture();
  return picture;
}
