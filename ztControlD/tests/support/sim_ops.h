// Helpers over the simulator's operation log.
#ifndef ZTCONTROLD_TESTS_SIM_OPS_H
#define ZTCONTROLD_TESTS_SIM_OPS_H

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "camsim/camera_sim.h"

// Operations received with this name ("remote 9/9", "direct 41 fw_download_done", "CR", ...).
inline std::vector<camsim::OpRecord> opsNamed(const camsim::CameraSim& sim, const std::string& name) {
    std::vector<camsim::OpRecord> out;
    for (const camsim::OpRecord& op : sim.ops())
        if (op.name() == name) out.push_back(op);
    return out;
}

inline bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 5000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return condition();
}

#endif
