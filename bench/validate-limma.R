# The peer that bench/validate holds TELVO's calls against: limma's two-channel linear model on the
# same log2 ratios, one moderated t-test per node pair (Smyth 2004, Stat. Appl. Genet. Mol. Biol. 3:3),
# Benjamini-Hochberg per pair.
#
# Usage: Rscript validate-limma.R MANIFEST
# MANIFEST is tab-separated, one line per ratio file: ratio file, output file, the nodes in order
# (comma-separated; the first is the baseline, the one without a column in the design).
# Each output has one row per gene and node pair a < b (in the given node order):
# gene_id, node_a, node_b, logFC (log2(Mu_a / Mu_b)), p_value, adj_p (BH within the pair).

suppressPackageStartupMessages(library(limma))

# A cell TELVO reads as "no measurement" is NA here too; so is a ratio of 0 or below (no logarithm).
ReadLog2Ratios <- function(path) {
  head <- strsplit(readLines(path, n = 3), "\t", fixed = TRUE)
  cy5 <- trimws(head[[2]][-(1:2)])
  cy3 <- trimws(head[[3]][-(1:2)])
  cells <- read.delim(path, header = FALSE, skip = 3, colClasses = "character", quote = "",
                      comment.char = "", na.strings = character(0), blank.lines.skip = TRUE)
  ids <- cells[[1]]
  text <- as.matrix(cells[, -(1:2), drop = FALSE])
  text[] <- trimws(text)
  text[text %in% c("", "NA", "NaN", "nan", "#N/A")] <- NA
  ratio <- suppressWarnings(matrix(as.numeric(text), nrow = nrow(text)))
  ratio[!is.na(ratio) & ratio <= 0] <- NA
  m <- log2(ratio)
  rownames(m) <- ids
  list(M = m, Cy5 = cy5, Cy3 = cy3)
}

# Each hyb's log ratio is x_Cy5 - x_Cy3, with x of the baseline node fixed at 0.
TwoChannelDesign <- function(cy5, cy3, nodes) {
  design <- matrix(0, nrow = length(cy5), ncol = length(nodes) - 1,
                   dimnames = list(NULL, nodes[-1]))
  for (h in seq_along(cy5)) {
    if (cy5[h] != nodes[1]) design[h, cy5[h]] <- design[h, cy5[h]] + 1
    if (cy3[h] != nodes[1]) design[h, cy3[h]] <- design[h, cy3[h]] - 1
  }
  design
}

# One column per pair a < b: coefficient a minus coefficient b, the baseline's being 0.
PairContrasts <- function(nodes) {
  pairs <- t(combn(length(nodes), 2))
  contrasts <- matrix(0, nrow = length(nodes) - 1, ncol = nrow(pairs),
                      dimnames = list(nodes[-1], paste(nodes[pairs[, 1]], nodes[pairs[, 2]], sep = "/")))
  for (k in seq_len(nrow(pairs))) {
    if (pairs[k, 1] > 1) contrasts[pairs[k, 1] - 1, k] <- 1
    if (pairs[k, 2] > 1) contrasts[pairs[k, 2] - 1, k] <- -1
  }
  list(Matrix = contrasts, A = nodes[pairs[, 1]], B = nodes[pairs[, 2]])
}

TestPairs <- function(ratioFile, outFile, nodes) {
  data <- ReadLog2Ratios(ratioFile)
  design <- TwoChannelDesign(data$Cy5, data$Cy3, nodes)
  pairs <- PairContrasts(nodes)
  fit <- eBayes(suppressWarnings(contrasts.fit(lmFit(data$M, design), pairs$Matrix)))
  rows <- lapply(seq_len(ncol(pairs$Matrix)), function(k) {
    p <- fit$p.value[, k]
    data.frame(gene_id = rownames(data$M), node_a = pairs$A[k], node_b = pairs$B[k],
               logFC = fit$coefficients[, k], p_value = p, adj_p = p.adjust(p, method = "BH"))
  })
  write.table(do.call(rbind, rows), outFile, sep = "\t", quote = FALSE, row.names = FALSE)
}

args <- commandArgs(trailingOnly = TRUE)
if (length(args) != 1) stop("usage: Rscript validate-limma.R MANIFEST")
manifest <- read.delim(args[1], header = FALSE, colClasses = "character", quote = "")
for (i in seq_len(nrow(manifest)))
  TestPairs(manifest[i, 1], manifest[i, 2], strsplit(manifest[i, 3], ",", fixed = TRUE)[[1]])
