// The command-line flags of an unattended run.
#include <algorithm>
#include <cmath>
#include <filesystem>

#include "settings/Settings.h"

namespace telvo {

static int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 99;
}

// The text after its leading blanks and tabs.
static std::string_view WithoutLeadingBlanks(std::string_view text) {
  return text.substr(std::min(text.find_first_not_of(" \t"), text.size()));
}

bool ParseFlagInteger(std::string_view text, int64_t lower, int64_t upper, int64_t& value) {
  text = WithoutLeadingBlanks(text);
  bool negative = text.starts_with('-');
  if (negative || text.starts_with('+')) text.remove_prefix(1);
  int base = 10;
  if (text.starts_with("0x")) {
    base = 16, text.remove_prefix(2);
  } else if (text.starts_with('$') || text.starts_with('x')) {
    base = 16, text.remove_prefix(1);
  } else if (text.starts_with('%')) {
    base = 2, text.remove_prefix(1);
  } else if (text.starts_with('&')) {
    base = 8, text.remove_prefix(1);
  }
  if (text.empty()) return false;
  int64_t magnitude = 0;
  for (char c : text) {
    int digit = DigitValue(c);
    if (digit >= base) return false;
    if (magnitude < (int64_t{1} << 40)) magnitude = magnitude * base + digit;  // beyond 2^40 it is out of range anyway
  }
  int64_t parsed = negative ? -magnitude : magnitude;
  if (parsed < lower || parsed > upper) return false;
  value = parsed;
  return true;
}

bool ParseFlagReal(std::string_view text, double& value) { return ParseStrictReal(WithoutLeadingBlanks(text), value); }

std::string ListField(const std::string& list, int index, bool& present) {
  size_t start = 0;
  for (int field = 1; field < index; ++field) {
    size_t comma = list.find(',', start);
    if (comma == std::string::npos) {
      present = false;
      return "";
    }
    start = comma + 1;
  }
  present = true;
  size_t comma = list.find(',', start);
  return list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
}

static void SetInitialMu(RunSettings& s, const InputDesign& d, const std::string& list) {
  int n = d.NumExpressionNodes;
  for (int node = 1; node <= n; ++node) {
    bool present;
    std::string field = ListField(list, node, present);
    if (!present || field.empty())
      OopsUsage("Bad initial Mu value.  Usage: -i a,b,c,...\nwhere a,b,c,... is a comma delimited list of initial real "
           "Mu values for each expression node.\nExpected " + StringFromInt(n) + " values for this input file.");
    if (!ParseFlagReal(field, s.InitialMu[node]))
      OopsUsage("Bad initial Mu value " + field + ".  Expected a real number (e.g. 1.0).");
  }
}

// The -I text is read once all flags are in, because -c decides whether it is a list.
static void SetInitialVCV(RunSettings& s, const InputDesign& d, const std::string& text) {
  int n = d.NumExpressionNodes;
  if (!s.ConstrainedVCV) {
    for (int node = 1; node <= n; ++node) {
      bool present;
      std::string field = ListField(text, node, present);
      if (!present || field.empty())
        OopsUsage("Bad initial variance value " + field +
                  ".\nUsage: -i a,b,c,...\nwhere a,b,c,... is a comma delimited "
                  "list of initial real variance values for each expression node.\nExpected " +
                  StringFromInt(n) + " values for this input file.");
      if (!ParseFlagReal(field, s.InitialVCV[node]))
        OopsUsage("Bad initial variance value " + field + ".  Expected a real number (e.g. 1.0).");
    }
  } else {
    if (!ParseFlagReal(text, s.InitialVCV[0]))
      OopsUsage("Bad initial variance value " + text + ".  Expected a real number (e.g. 1.0).");
    for (int node = 1; node <= n; ++node) s.InitialVCV[node] = s.InitialVCV[0];
  }
}

// Long options: a name, whether a value follows (as the next argument or after "="), and its effect.
// Help and version are answered before anything else and have no effect on a run.
struct LongOption {
  const char* Name;                                    // without the leading "--"
  bool TakesValue;                                     // --name VALUE or --name=VALUE
  void (*Apply)(RunSettings& s, const std::string& value);  // null for a request
  InfoRequest Request = InfoRequest::None;             // what the option asks instead of a run
};

static const LongOption LongOptions[] = {
    {"out", true,
     [](RunSettings& s, const std::string& v) {
       // A prefix that names a folder would hide the outputs in it as ".TER", "..nodes.tsv" and the like.
       std::string last = v.substr(v.find_last_of('/') + 1);
       std::error_code error;
       if (last.empty() || last == "." || last == ".." || std::filesystem::is_directory(v, error))
         OopsUsage("The output prefix (--out) must end in a file name, as in results/run1, not in a folder alone.");
       s.OutPrefix = v;
       s.Tables = true;
     }},
    {"fdr", true,
     [](RunSettings& s, const std::string& v) {
       if (!ParseFlagReal(v, s.Fdr) || !(s.Fdr > 0 && s.Fdr < 1))
         OopsUsage("The level of the calls (--fdr) must be a number above 0 and below 1, not " + Cut(v) + ".");
     }},
    {"min-log2", true,
     [](RunSettings& s, const std::string& v) {
       if (!ParseFlagReal(v, s.MinLog2) || !(s.MinLog2 >= 0) || !std::isfinite(s.MinLog2))
         OopsUsage("The smallest change called (--min-log2) must be a log2 ratio of 0 or more, not " + Cut(v) + ".");
     }},
    {"resume", false, [](RunSettings& s, const std::string&) { s.Resume = true; }},
    {"quiet", false, [](RunSettings& s, const std::string&) { s.Quiet = true; }},
    {"progress", false, [](RunSettings& s, const std::string&) { s.Progress = ProgressChoice::Always; }},
    {"no-progress", false, [](RunSettings& s, const std::string&) { s.Progress = ProgressChoice::Never; }},
    {"help", false, nullptr, InfoRequest::Help},
    {"version", false, nullptr, InfoRequest::Version},
};

// The option an argument "--name" or "--name=value" names, null when none; equals: position of "=".
static const LongOption* FindLongOption(const std::string& a, size_t& equals) {
  if (a.size() < 3 || a.compare(0, 2, "--") != 0) return nullptr;
  equals = a.find('=');
  std::string name = a.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
  for (const LongOption& o : LongOptions)
    if (name == o.Name) return &o;
  return nullptr;
}

InfoRequest FindInfoRequest(const std::vector<std::string>& args) {
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "-h") return InfoRequest::Help;
    size_t equals;
    const LongOption* option = FindLongOption(args[i], equals);
    if (!option) continue;
    if (option->Request != InfoRequest::None) return option->Request;
    if (option->TakesValue && equals == std::string::npos) ++i;  // its value is no request
  }
  return InfoRequest::None;
}

bool HasLongOption(const std::vector<std::string>& args, const char* name) {
  for (size_t i = 0; i < args.size(); ++i) {
    size_t equals;
    const LongOption* option = FindLongOption(args[i], equals);
    if (!option) continue;
    if (std::string_view(option->Name) == name) return true;
    if (option->TakesValue && equals == std::string::npos) ++i;  // its value is no option
  }
  return false;
}

void TakeLongOptions(RunSettings& settings, std::vector<std::string>& args) {
  std::vector<std::string> kept;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a.size() < 3 || a.compare(0, 2, "--") != 0) {
      kept.push_back(a);
      continue;
    }
    size_t equals;
    const LongOption* option = FindLongOption(a, equals);
    if (!option) OopsUsage("Unrecognized flag " + Cut(a), "unknown flag " + a);
    std::string name = option->Name;
    std::string value;
    if (equals != std::string::npos) {
      if (!option->TakesValue) OopsUsage("The flag --" + name + " takes no value.");
      value = a.substr(equals + 1);
    } else if (option->TakesValue) {
      if (i + 1 >= args.size()) OopsUsage("The flag --" + name + " needs a value.");
      value = args[++i];
    }
    if (option->Apply) option->Apply(settings, value);
  }
  args = kept;
  if (args.empty()) OopsUsage("No input file: the ratio file is the last argument.");
}

// Flags with one number: its range, and the refusal Before + value + After.
struct NumberFlag {
  char Letter;                                  // the flag's letter
  int64_t Lower, Upper;                         // whole numbers: the range; 0, 0: a real number
  const char* Before;                           // the refusal before the value
  const char* After;                            // and after it
  void (*Set)(RunSettings& s, int64_t whole, double real);
};

static const NumberFlag NumberFlags[] = {
    {'m', 0, 0, "Bad Mu step size ", ".  Expected a real value.",
     [](RunSettings& s, int64_t, double x) { s.MuStepSize = x; }},
    {'v', 0, 0, "Bad variance step size ", ".  Expected a real value.",
     [](RunSettings& s, int64_t, double x) { s.VCVStepSize = x; }},
    {'b', 1, 500000, "Bad burn in value ", ".  Expected an integer value from 1 to 500000",
     [](RunSettings& s, int64_t n, double) { s.BurnIn = static_cast<int>(n); }},
    {'p', 1, 65532, "Bad period of sampling value ", ".  Expected an integer value. from 1 to 65532.",
     [](RunSettings& s, int64_t n, double) { s.SamplingPeriod = static_cast<int>(n); }},
    {'g', 80, MaxSamples, "Bad generations value ", ".  Expected an integer value from 80 to 500000",
     [](RunSettings& s, int64_t n, double) { s.ChainSampleSize = static_cast<int>(n); }},
    {'t', 1, 25, "Bad acceptance ratio value ", ".  Expected an integer value from 1 to 25.",
     [](RunSettings& s, int64_t n, double) { s.MaxTuningDepth = static_cast<int>(n); }},
    {'r', 1, 4294967295LL, "Bad random seed value ", ".  Expected an integer value greater than 0.",
     [](RunSettings& s, int64_t n, double) { s.TelvoRandomSeed = static_cast<uint32_t>(n); }},
    {'j', 1, 256, "Bad thread count ", ".  Expected an integer value from 1 to 256.",
     [](RunSettings& s, int64_t n, double) { s.Threads = static_cast<int>(n); }},
    {'n', 1, 2147483647, "Bad first gene number ", ".  Expected an integer value from 1 to 2147483647.",
     [](RunSettings& s, int64_t n, double) { s.FirstGene = static_cast<long>(n); }},
};

static void SetNumberFlag(RunSettings& s, const NumberFlag& flag, const std::string& v) {
  int64_t whole = 0;
  double real = 0;
  bool ok = flag.Upper == 0 ? ParseFlagReal(v, real) : ParseFlagInteger(v, flag.Lower, flag.Upper, whole);
  if (!ok) OopsUsage(flag.Before + v + flag.After);
  flag.Set(s, whole, real);
}

// A refusal of -e, with the four models named after it.
[[noreturn]] static void BadErrorModel(const std::string& message) {
  throw RunStop{Cut(message), 1, "", true, "the error models are AV, AC, MV and MC"};
}

// -e: the first two characters name the model; the rest is not read.
static void SetErrorModelFlag(RunSettings& s, const std::string& v) {
  if (v.size() < 2) BadErrorModel("Invalid error model " + v);
  if (v[0] != 'A' && v[0] != 'M')
    BadErrorModel("Invalid error model (" + v.substr(0, 1) + ").  Valid choices are A and M.");
  if (v[1] != 'V' && v[1] != 'C')
    BadErrorModel("Invalid variation type (" + v.substr(1, 1) + ").  Valid choices are V and C.");
  SetErrorModelFirst(s, v[0]);
  SetErrorModelSecond(s, v[1], "Coefficient ofVariation");
}

// A value written onto its flag is taken, as getopt takes it, only where the whole rest of the word is a
// valid value of a number flag or an error model; anything else stays an unknown flag (-burn 5).
static bool IsAttachedValue(const NumberFlag* number, char letter, const std::string& rest) {
  int64_t whole = 0;
  double real = 0;
  if (number)
    return number->Upper == 0 ? ParseFlagReal(rest, real) : ParseFlagInteger(rest, number->Lower, number->Upper, whole);
  return letter == 'e' && rest.size() == 2 && (rest[0] == 'A' || rest[0] == 'M') && (rest[1] == 'V' || rest[1] == 'C');
}

// The letter of a flag word, and its number flag if it is one; refuses what is no flag.
static char FlagLetter(const std::string& a, const NumberFlag*& number) {
  if (a.empty() || a[0] != '-')
    OopsUsage("Error parsing command line (expected a flag, but found " +
                  (a.empty() ? std::string(" ") : a.substr(0, 1)) + " instead.",
              "expected a flag but found '" + a + "' (the ratio file is the last argument)");
  char letter = a.size() > 1 ? a[1] : ' ';
  number = nullptr;
  for (const NumberFlag& flag : NumberFlags)
    if (flag.Letter == letter) number = &flag;
  if (a.size() != 2 && !IsAttachedValue(number, letter, a.size() > 2 ? a.substr(2) : ""))
    OopsUsage("Unrecognized flag " + a, "unknown flag " + a);
  return letter;
}

void SetOptionsCLI(RunSettings& s, const InputDesign& d, const std::vector<std::string>& args) {
  const size_t argCount = args.size();
  std::string varianceFields;
  for (size_t curParam = 1; curParam < argCount; ++curParam) {
    std::string a = Cut(args[curParam - 1]);
    const NumberFlag* number = nullptr;
    const char letter = FlagLetter(a, number);
    const std::string attached = a.size() > 2 ? a.substr(2) : "";  // a value written onto its flag, as -j2
    auto value = [&]() { return a.size() > 2 ? attached : Cut(args[++curParam - 1]); };
    if (number) {
      SetNumberFlag(s, *number, value());
      continue;
    }
    switch (letter) {
      case 'e':
        SetErrorModelFlag(s, value());
        break;
      case 'c':
        if (d.NumHybs < 2 * d.NumExpressionNodes - 1) OopsUsage(TooFewHybsMessage(d, s));
        s.ConstrainedVCV = false;
        break;
      case 'i':
        SetInitialMu(s, d, value());
        break;
      case 'I': {
        std::string v = value();
        if (v.empty())
          OopsUsage("Bad initial variance value.  Usage: -i a,b,c,...\nwhere a,b,c,... is a comma delimited list of "
               "initial real variance values for each expression node (for error model = AV or MV) or a single "
               "shared value (for error model = AC or MC).");
        varianceFields = v;
        break;
      }
      case 'f':
        s.FullOutput = true;
        break;
      case 'q':
        s.DryRun = true;
        break;
      case 'o':  // whole, so that a name over 255 characters is refused rather than cut
        s.ResultFileName = args[++curParam - 1];
        break;
      default:
        OopsUsage(std::string("Unknown parameter flag") + letter, "unknown flag " + a);
    }
  }
  if (!varianceFields.empty()) SetInitialVCV(s, d, varianceFields);
  // Gene numbers only seed the streams of independent genes.
  if (s.FirstGene != 1 && s.Threads == 0) OopsUsage("The first gene number (-n) needs independent genes (-j).");
  if (s.Resume && (s.Threads == 0 || !s.Tables))
    OopsUsage("--resume needs independent genes (-j) and the prefix of the stopped run (--out): without -j every gene "
              "starts from the step sizes the gene before it left, which a resumed run cannot know.");
}

}  // namespace telvo
