## Korvalent: network layout of the co-expressed genes by principal components
##
## Reads the filtered expression table named by KORVALENT_DATAPATH and KORVALENT_DATANAMEIN
## (tab-separated; quoted "ID", "Name" and array names; NA for a missing value; the decimal
## separator may be a comma) and writes KORVALENT_DATANAMEOUT in the same folder: a tab-separated
## table with the header ID, PC1, PC2, PC3 and one line per gene, in input order, holding the
## gene's coordinates on the first three principal components.
##
## Each gene's profile is standardized (mean 0, standard deviation 1 over its present values); a
## missing value then counts as the gene's mean (0), and a constant gene, or one with fewer than two
## present values, lies at the centre. Genes are the observations and arrays the variables.
## Components that do not exist (fewer than three arrays or genes) are written as 0.

rm(list = ls())

path <- Sys.getenv("KORVALENT_DATAPATH")
infile <- Sys.getenv("KORVALENT_DATANAMEIN")
outfile <- Sys.getenv("KORVALENT_DATANAMEOUT")

tab <- read.table(file.path(path, infile), header = TRUE, sep = "\t", quote = "\"",
                  comment.char = "", colClasses = "character", na.strings = "NA",
                  check.names = FALSE, strip.white = FALSE, blank.lines.skip = TRUE,
                  fill = TRUE)

ids <- if (ncol(tab) >= 1) tab[[1]] else character(0)
ids[is.na(ids)] <- "NA"
n <- nrow(tab)
m <- max(ncol(tab) - 2, 0)

x <- matrix(0, nrow = n, ncol = m)
if (n > 0 && m > 0) {
  for (j in seq_len(m)) {
    v <- gsub(",", ".", tab[[j + 2]], fixed = TRUE)
    x[, j] <- suppressWarnings(as.numeric(v))
  }
}
x[!is.finite(x)] <- NA

## standardized profiles; missing values and constant genes become 0
z <- matrix(0, nrow = n, ncol = m)
if (n > 0 && m > 0) {
  for (i in seq_len(n)) {
    v <- x[i, ]
    ok <- !is.na(v)
    if (sum(ok) >= 2) {
      s <- sd(v[ok])
      if (is.finite(s) && s > 0) {
        w <- (v - mean(v[ok])) / s
        w[!ok] <- 0
        z[i, ] <- w
      }
    }
  }
}

pc <- matrix(0, nrow = n, ncol = 3)
if (n >= 2 && m >= 1) {
  zc <- sweep(z, 2, colMeans(z))
  sv <- svd(zc, nu = min(n, m, 3), nv = 0)
  k <- min(3, length(sv$d), ncol(sv$u))
  for (j in seq_len(k)) {
    score <- sv$u[, j] * sv$d[j]
    ## a fixed orientation: the gene farthest along the component lies on its positive side
    far <- which.max(abs(score))
    if (length(far) == 1 && score[far] < 0) score <- -score
    pc[, j] <- score
  }
}

out <- file(file.path(path, outfile), open = "wb")
writeLines("ID\tPC1\tPC2\tPC3", out, sep = "\n")
if (n > 0) {
  lines <- sprintf("%s\t%.10g\t%.10g\t%.10g", ids, pc[, 1], pc[, 2], pc[, 3])
  writeLines(lines, out, sep = "\n")
}
close(out)

q(save = "no")
