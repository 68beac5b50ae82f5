// The simulator's own log: lines on standard error, filtered by the instance's verbosity.
#ifndef CAMSIM_SIM_LOG_H
#define CAMSIM_SIM_LOG_H

namespace camsim {

enum SimLogLevel { SIMLOG_ERROR = 1, SIMLOG_INFO = 2, SIMLOG_TRACE = 3 };

class SimLog {
public:
    explicit SimLog(int verbosity) : verbosity_(verbosity) {}
    bool enabled(int level) const { return level <= verbosity_; }
    void write(int level, const char* format, ...) const __attribute__((format(printf, 3, 4)));

private:
    int verbosity_;
};

}  // namespace camsim

#endif
