#pragma once
#include <ctime>
#include <functional>
#include <iosfwd>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "snapshot/mapping.h"
#include "snapshot/snapshot.h"

struct UdpDev;
class UdpDevSet;

// The commands of olmctl over the link: each takes its parsed arguments and the context (options,
// output and error streams) and returns the exit status: 0 done (diff: equal), 1 failed, refused
// or (diff) different, 2 usage error. Every command reaches the network only through UDP() and
// closes the sessions it opened before it returns, on an error and on a stop request too.
// Messages are Polish, UTF-8, one line per problem on the error stream, each beginning "olmctl: ".

struct CtlOptions {
    bool json = false;                     // --json: machine-readable output (scan, show, diff)
    std::string output;                    // -o FILE (backup: "-" is standard output)
    std::string location;                  // --location TEXT (report), UTF-8
    std::vector<int> doors;                // --doors 1,3 (restore), door numbers from 1
    std::vector<DeviceMap> maps;           // --map OLD=NEW (restore)
    bool yes = false;                      // --yes: really write (restore, delete-inactive, replace)
    std::string keep;                      // --keep FILE (restore)
    std::set<std::string> given;           // names of the options given ("json", "output", ...)
};

struct Ctl {
    std::ostream& out;
    std::ostream& err;
    CtlOptions options;
    // The clock of snapshot times, report dates and keep-file names.
    std::function<std::time_t()> clock = [] { return std::time(nullptr); };
    std::string program = "olmctl";        // "olmctl 1.3.3" in snapshots
};

// A failure or refusal with its lines for the error stream (Polish, UTF-8).
struct CtlError : std::runtime_error {
    explicit CtlError(const std::string& line) : std::runtime_error(line), lines{line} {}
    explicit CtlError(std::vector<std::string> all) : std::runtime_error(all.empty() ? "" : all.front()), lines(std::move(all)) {}
    std::vector<std::string> lines;
};

// Ctrl+C and SIGTERM: the signal handler calls RequestStop (async-signal-safe); commands check it
// between exchanges, unwind, and close their sessions on the way out.
void RequestStop() noexcept;
bool StopRequested() noexcept;
void ResetStop() noexcept;
// Throws when a stop was requested.
void CheckStop();

// Runs the command named by args[0] with the rest as its arguments; checks their number and which
// options apply. Prints the reason of a usage error and returns 2.
int RunCommand(Ctl& ctl, const std::vector<std::string>& args);

int CmdScan(Ctl& ctl);
int CmdTime(Ctl& ctl, const std::string& which);   // a controller or "all"
int CmdShow(Ctl& ctl, const std::string& what);    // a controller or a snapshot file
int CmdBackup(Ctl& ctl, const std::string& controller);
int CmdDiff(Ctl& ctl, const std::string& a, const std::string& b);
int CmdRestore(Ctl& ctl, const std::string& file, const std::string& controller);
int CmdReport(Ctl& ctl, const std::string& controller);
int CmdDeleteInactive(Ctl& ctl, const std::string& controller);
int CmdReplace(Ctl& ctl, const std::string& controller, const std::string& oldName, const std::string& newName);
// Prints a trace written with --trace, one aligned line per datagram; needs no network.
int CmdTraceView(Ctl& ctl, const std::string& file);

// Option values: "1,3" (door numbers 1-8) and "OLD=NEW" (device names). False when malformed.
bool ParseDoorList(const std::string& text, std::vector<int>& doors);
bool ParseDeviceMap(const std::string& text, DeviceMap& map);

// The one place where controllers are searched for (no time frame is sent). --target ranges join
// it through SetSearchTargets.
void SearchControllers(UdpDevSet& set);
// The controller named by its device name or its IPv4 address among those found. Throws CtlError
// when there is none or more than one.
UdpDev& FindController(UdpDevSet& set, const std::string& nameOrAddress);
// True for a device name (K105_01502) or a dotted IPv4 address: such an argument names a
// controller, anything else a file.
bool NamesController(const std::string& text);

// Reads a controller's device list and doors (or lift) into a snapshot: the status poll, the
// session, D, then C per door. Throws UErr, CtlError (not a controller, invalid device list).
Snapshot ReadController(UdpDev& dev, const Ctl& ctl);
// Restores a snapshot onto a found controller, by the rules of the restore command. The keep
// file goes next to snapshotPath unless --keep names one.
int RestoreOnto(Ctl& ctl, UdpDev& dev, const Snapshot& snap, const std::string& snapshotPath);

// A UErr's message on one line, UTF-8.
std::string ErrorLine(const std::exception& e);
