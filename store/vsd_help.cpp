#include "store/vsd_help.h"

#include <sstream>

namespace vistra {
namespace {

// The help as plain text; vsdHelpText() colours it.
constexpr const char* kPlainHelp = R"(VSD FILE FORMAT:
A VSD file is a key file: [groups] with one key=value per line, '#' starts a comment line.
The group [settings] names the CAN interfaces and their DBC files, every other group
defines one virtual signal.

[settings]
ifname_0=CAN0                  # name of interface 0 (letters, digits, '_', ':' and '-')
dbcfile_0=powertrain.dbc       # DBC files of interface 0, separated by semicolon, relative to the VSD file
ifname_1=CAN1                  # name of interface 1 (interfaces 0 to 31 may be declared)
dbcfile_1=body.dbc;extra.dbc   # DBC files of interface 1, loaded in this order
include=common.vsd;gps.vsd     # files separated by semicolon, their signals are read before this file's
legacygps=false                # GPS position from interface 0 in degrees and minutes (default false)
_______________________________________________________________________________________________________
COMMON (NOT MANDATORY) OPTIONS FOR ALL VIRTUAL SIGNALS
fact=1.0                       # output factor, must not be zero (default 1.0; also 'factor')
offs=0.0                       # output offset (default 0.0; also 'offset')
hidden=false                   # the signal is not listed (default false)
unit=km/h                      # unit shown with the values (default none)
minLim=0                       # lower end of the plot range (also 'minLimit')
maxLim=100                     # upper end of the plot range (also 'maxLimit')
absInput=false                 # absolute value of every input value (default false)
absOutput=false                # absolute value of the output (default false)
avgWindow=1000                 # sliding average over this many ms, needs 'step' (default none; also 'avg')
fillEmpty=false                # fill gaps in the output with points (default false)
valWhenEmpty=0                 # value of the fill points (default: the last value)
pauseIfZero=false              # drop outputs that are exactly 0, not with fillEmpty (default false)
comment=Some text              # description shown with the signal (default none)
_______________________________________________________________________________________________________
NOTES ON HOW COMMON OPTIONS ARE APPLIED
1. absolute input: absInput takes the absolute value of each input value as it is read
2. factor and offset: each output value is multiplied by fact, then offs is added
3. absolute output: absOutput takes the absolute value of the scaled output
4. gap filling: fillEmpty (with valWhenEmpty) fills the gaps in the output
5. sliding average: avgWindow averages the result over a window of that many ms
The other options (hidden, unit, minLim, maxLim, pauseIfZero, comment) act only on plotting.
_______________________________________________________________________________________________________
SIGNAL REFERENCE
Input signals are referenced by their full name "<ifname>.<msg>.<signal>",
for example "CAN0.MsgA.Signal0". Virtual signals are found in the interface "Virt".
_______________________________________________________________________________________________________
VIRTUAL SIGNAL NAMING
[<SignalName>]                 # the signal goes into the default message "Virtual"
[<MsgName>.<SignalName>]       # the signal goes into the message <MsgName>
_______________________________________________________________________________________________________
[AverageExample]
method=average                 # time-weighted moving average
signal=CAN0.MsgA.Signal0       # input signal (also 'signal_01')
step=100                       # output step in ms (mandatory)
window=1000                    # width of the window around each output in ms, not below step (mandatory)
onlyPos=false                  # negative input values count as 0 (default false)
onlyNeg=false                  # positive input values count as 0 (default false)
_______________________________________________________________________________________________________
[SlopeExample]
method=slope                   # follows the input with a limited rate of change
signal=CAN0.MsgA.Signal0       # input signal (also 'signal_01')
step=100                       # step in ms (mandatory)
posSlopeIncr=10                # largest rise per second while the output is at or above 0 (mandatory)
posSlopeDecr=10                # largest fall per second while the output is at or above 0 (mandatory)
negSlopeIncr=10                # largest fall per second while the output is below 0 (mandatory)
negSlopeDecr=10                # largest rise per second while the output is below 0 (mandatory)
_______________________________________________________________________________________________________
[IntegrateExample]
method=integrate               # integral over time in input units times seconds (summary output at end of parse)
signal=CAN0.MsgA.Signal0       # input signal (also 'signal_01')
onlyPos=false                  # integrate only positive values (default false)
onlyNeg=false                  # integrate only negative values (default false)
resetSig=CAN0.MsgA.Signal1     # the sum restarts at 0 while this signal is above 0 (default none)
maxSum=1000                    # upper limit of the sum (default none)
minSum=0                       # lower limit of the sum (default none)
_______________________________________________________________________________________________________
[MathExample]
method=sum                     # sum|sub|mult|div|avg|max|min|sin|cos|tan|asin|acos|atan|inv|sqrt|sqr|der|fmod
signal_01=CAN0.MsgA.Signal0    # first input signal (at least one)
signal_02=CAN0.MsgA.Signal1    # further inputs signal_03, signal_04, ... up to signal_99
step=100                       # step in ms (mandatory)
radians=false                  # trigonometric arguments and results in radians instead of degrees (default false)
denom=360                      # divisor of fmod (mandatory for fmod)
_______________________________________________________________________________________________________
[ExpressionExample]
method=expression              # arithmetic expression of the inputs
signal_01=CAN0.MsgA.Signal0    # referenced as $01 in the expression (at least one)
signal_02=CAN0.MsgA.Signal1    # referenced as $02, and so on up to signal_99
step=100                       # step in ms (mandatory)
expr=sqrt($01^2 + $02^2) * pi  # + - * / ^ % < <= > >= == != && || and functions such as sin, max, atan2 (also 'expression')
radians=false                  # trigonometric functions work in radians instead of degrees (default false)
_______________________________________________________________________________________________________
[EqualsExample]
method=equals                  # 1 when the inputs equal their values, else 0
signal_01=CAN0.MsgA.Signal0    # first input signal (at least one)
value_01=3                     # value compared with signal_01 (one value per signal)
signal_02=CAN0.MsgA.Signal1    # further inputs up to signal_99
value_02=0                     # value compared with signal_02
allOf=false                    # all inputs must equal their values instead of any one (default false)
step=100                       # step in ms (mandatory)
_______________________________________________________________________________________________________
[AboveBelowExample]
method=above                   # above|below: 1 while the input is above the levels (below: inverted)
signal=CAN0.MsgA.Signal0       # input signal (also 'signal_01')
above=10                       # the output switches on when the input rises above this (mandatory)
below=5                        # the output switches off when the input falls below this (mandatory)
step=100                       # step in ms (mandatory)
_______________________________________________________________________________________________________
[CountExample]
method=count                   # counts rises above a level (summary output at end of parse)
signal=CAN0.MsgA.Signal0       # input signal (also 'signal_01')
above=10                       # a rise above this counts once (mandatory)
below=5                        # the input must fall below this before the next rise counts (mandatory)
resetSig=CAN0.MsgA.Signal1     # the count restarts at 0 while this signal is above 0 (default none)
step=100                       # step in ms (mandatory)
_______________________________________________________________________________________________________
[TimekeepingExample]
method=time                    # seconds spent above (or below) the levels (summary output at end of parse)
signal=CAN0.MsgA.Signal0       # input signal (also 'signal_01')
above=10                       # the state turns high when the input rises above this (mandatory)
below=5                        # the state turns low when the input falls below this (mandatory)
countAbove=true                # count the time in the high state, false: in the low state (default true)
resetSig=CAN0.MsgA.Signal1     # the time restarts at 0 while this signal is above 0 (default none)
step=100                       # step in ms (mandatory)
_______________________________________________________________________________________________________
[AccumulateExample]
method=accumulate              # sum of the input's values, each added when the input changes to it (summary output at end of parse)
signal=CAN0.MsgA.Signal0       # input signal (also 'signal_01')
resetSig=CAN0.MsgA.Signal1     # the sum restarts at 0 while this signal is above 0 (default none)
step=100                       # step in ms (mandatory)
_______________________________________________________________________________________________________
[FrequencyExample]
method=frequency               # frequency of the input's peaks in Hz, or the size of its swings
signal=CAN0.MsgA.Signal0       # input signal (also 'signal_01')
samples=1                      # number of periods averaged per output (default 1)
filter=0.0                     # spike filter threshold, 0 switches it off (default 0.0)
peaks=1                        # peaks per cycle of the input (default 1)
amplitude=false                # measure the swings between turning points instead of the periods (default false)
step=10                        # step in ms (mandatory)
_______________________________________________________________________________________________________
[EstimateExample]
method=estimate                # mean of each stretch where the input is high, offValue elsewhere
signal=CAN0.MsgA.Signal0       # input signal (also 'signal_01')
highLimit=10                   # a stretch begins when the input is above this (mandatory)
lowLimit=5                     # a stretch ends when the input is below this (mandatory)
offValue=0                     # output outside the stretches (default 0.0)
step=100                       # step in ms (mandatory)
_______________________________________________________________________________________________________
[IIRFilterExample]
method=IIR                     # first-order low-pass filter
signal=CAN0.MsgA.Signal0       # input signal (also 'signal_01')
K=1000.0                       # filter constant, larger is smoother (default 1000.0)
step=100                       # step in ms (mandatory)
_______________________________________________________________________________________________________
[MultiplexExample]
method=multiplex               # the value of signal, latched while every trigger signal has its value
signal=CAN0.MsgA.Signal0       # value signal (also 'signal_01')
trigSign_01=CAN0.MsgA.Mux      # first trigger signal (at least one), further ones trigSign_02 ... trigSign_99
trigVal_01=2                   # value of trigSign_01 that triggers (one per trigger signal)
step=100                       # step in ms (mandatory)
_______________________________________________________________________________________________________
[LookupTableExample]
method=lookuptable             # looks the inputs up in a table file, interpolating between rows
file=table.txt                 # table file, relative to the VSD file: column k for signal_k, then the output
signal_01=CAN0.MsgA.Signal0    # looked up in column 1 (at least one)
signal_02=CAN0.MsgA.Signal1    # looked up in column 2, and so on up to signal_99
step=100                       # step in ms (mandatory)
_______________________________________________________________________________________________________
[GeofenceSquareExample]
method=geofence                # 1 while the logger's GPS position is inside the fence, else 0
type=square                    # circle or square (mandatory)
topleft=57.72;11.94            # latitude;longitude of the top left corner (mandatory for square)
bottomright=57.70;11.98        # latitude;longitude of the bottom right corner (mandatory for square)
step=1000                      # step in ms (mandatory)
_______________________________________________________________________________________________________
[GeofenceCircleExample]
method=geofence                # 1 while the logger's GPS position is inside the fence, else 0
type=circle                    # circle or square (mandatory)
center=57.71;11.97             # latitude;longitude of the centre (mandatory for circle)
radius=500                     # radius in metres (mandatory for circle)
step=1000                      # step in ms (mandatory)
_______________________________________________________________________________________________________
[StatisticsExample]
method=statistics              # one number over the whole load, does not show up in the plot
signal=CAN0.MsgA.Signal0       # input signal (also 'signal_01')
type=max                       # max|min|average|avg (mandatory)
step=100                       # step in ms (mandatory))";

constexpr const char* kGroup = "\033[1m\033[37m";
constexpr const char* kKey = "\033[1m\033[32m";
constexpr const char* kValue = "\033[33m";
constexpr const char* kReset = "\033[0m";

bool isKeyChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

std::string colourLine(const std::string& line)
{
    if (!line.empty() && line[0] == '[') {
        const std::size_t close = line.find(']');
        if (close != std::string::npos)
            return kGroup + line.substr(0, close + 1) + kReset + line.substr(close + 1);
        return line;
    }
    std::size_t keyEnd = 0;
    while (keyEnd < line.size() && isKeyChar(line[keyEnd]))
        ++keyEnd;
    if (keyEnd == 0 || keyEnd >= line.size() || line[keyEnd] != '=')
        return line;
    // The value ends where the blanks before the explanation begin.
    std::size_t note = line.find(" #", keyEnd);
    if (note == std::string::npos)
        note = line.size();
    std::size_t valueEnd = note;
    while (valueEnd > keyEnd + 1 && line[valueEnd - 1] == ' ')
        --valueEnd;
    return kKey + line.substr(0, keyEnd) + kReset + "=" + kValue + line.substr(keyEnd + 1, valueEnd - keyEnd - 1) +
           kReset + line.substr(valueEnd);
}

} // namespace

std::string colourVsdHelp(const std::string& plain)
{
    std::istringstream in(plain);
    std::string line;
    std::string out;
    bool first = true;
    while (std::getline(in, line)) {
        if (!first)
            out += '\n';
        out += colourLine(line);
        first = false;
    }
    return out;
}

const std::string& vsdHelpText()
{
    static const std::string text = colourVsdHelp(kPlainHelp);
    return text;
}

} // namespace vistra
