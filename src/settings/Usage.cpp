// The usage text of --help and the one-line reminder after a bad command line.
#include "settings/Settings.h"

namespace telvo {

std::string_view UsageLine() { return "Usage: telvo [flags] ratios.txt   (telvo --help for more)"; }

std::string_view UsageText() {
  return R"(Usage: telvo [flags] ratios.txt     unattended run; the ratio file is the last argument
       telvo                        dialogue: file-name prompt, header checks, settings menu

Estimates, gene by gene, the relative expression level (Mu) of every expression node of a
two-channel microarray design from a tab-delimited file of ratios, by Markov chain Monte Carlo.

Flags (defaults in brackets; integers may also be written $1F, 0x1F, x1F, %101 or &17):
  -e AV|AC|MV|MC    error model: Additive or Multiplicative errors,
                    with a Variance or a Coefficient of variation as error term [AC]
  -c                one error term per node instead of one shared term
  -i a,b,c,...      starting Mu of every node [1.0 each]
  -I a,b,... | a    starting error terms, one per node with -c, else one shared value [0.2]
  -m REAL           starting step size of the Mu move [0.5]
  -v REAL           starting step size of the error-term move [0.5]
  -b 1..500000      burn-in steps [20000]
  -p 1..65532       steps between stored samples [20]
  -g 80..500000     samples stored per node [10000]
  -t 1..25          most tuning passes per gene [8]
  -f                full output: one chain file (.TEC) per sampled gene and extra console lines
  -r 1..4294967295  random seed [the clock; the seed used is printed after "Random seed: "]
  -o NAME           result file name [derived from the input name]
  -q                dry run: check the file and settings, create the output files, stop
  -j 1..256         independent genes on that many worker threads [off: one random stream]
  -n 1..2147483647  with -j: number of the file's first gene row, for shards of a file [1]
  --out PREFIX      name every output from PREFIX; also writes the analysis tables and the report
  --fdr ALPHA       with --out: the level of the calls, 0 < ALPHA < 1 [0.05]
  --min-log2 T      with --out: a call also needs |log2 ratio| above T, T >= 0 [none]
  --resume          with -j and --out: go on with a run that stopped, after the genes its files hold
  --quiet           nothing on standard output; failures, warnings and a summary on standard error
  --progress        progress line on standard error even when it is not a terminal
  --no-progress     no progress line [shown when standard error is a terminal]
  -h, --help        this text
  --version         the version

A ratio of 0, an empty cell, NA, NaN, nan or #N/A is no measurement.

Outputs, beside the input file:
  <input>_<model>.TER          result file: settings, column headings, one row per gene; its
                               estimates are relative to the gene's node with the smallest median
  <input>_<node>.pvalue        one per node: P(node > other node) for every gene
  <input>_<gene>(<name>).TEC   with -f: the chains of every sampled gene
With --out PREFIX they are PREFIX.TER, PREFIX_<node>.pvalue and PREFIX_<gene>(<name>).TEC, beside
tab-separated tables for R and pandas and a report page:
  PREFIX.nodes.tsv     a row per gene and node: Mu and its interval, rel (relative to that gene's
                       node with the smallest median, which differs from gene to gene: use the
                       contrasts for a fixed pair), diagnostics (ESS, R-hat)
  PREFIX.contrasts.tsv a row per estimated gene and node pair: log2 ratio, interval, lfsr
  PREFIX.top.tsv       the contrasts ranked within a pair by lfdr, with q-values and calls
  PREFIX.genes.tsv     a row per estimated gene: does any node differ?
  PREFIX.run.tsv       the settings, counts and calls of the run
  PREFIX.report.html   one page: volcano and forest plots, the sampler's diagnostics
telvo-rank makes the ranked, genes and run tables and the report from the tables of shards.
The per-gene report goes to standard output; the progress line and failures to standard error.

Exit status: 0 after a normal run, a dry run (-q) or the user's own quit; 1 after any failure;
130, 143 or 129 after SIGINT, SIGTERM or SIGHUP (the files then hold the same whole genes).

Examples:
  telvo -r 12345 examples/example.txt
  telvo -j 2 -r 12345 --quiet --out results/example examples/example.txt
  telvo -e MV -j 2 -o results.TER ratios.txt > ratios.log
)";
}

}  // namespace telvo
