# A robust sweep's results file with capture detection, summed by band:
# columns, regimes, captures, the chaotic phases' exponents, the collapse
# rates against g = 1.5 - 20 D / 3, and the columns' time.
#   awk -f regimes.awk flockchase.csv
BEGIN { FS = ","; split("0.6 0.225 0.1 0", lo, " "); split("0.6 to 1|0.225 to 0.6|0.1 to 0.225|below 0.1", name, "|") }
NR == 1 { for (i = 1; i <= NF; i++) f[$i] = i; next }
{
  d = $f["damping"] + 0; b = 4
  for (k = 1; k <= 4; k++) if (d > lo[k] + 1e-9) { b = k; break }
  n[b]++; s[b] += $f["seconds"]; reg[b, $f["regime"]]++; cap[b] += $f["captures"]
  if ($f["exponent"] != "") {
    e = $f["exponent"] + 0
    if (!(b in emin) || e < emin[b]) emin[b] = e
    if (!(b in emax) || e > emax[b]) emax[b] = e
  }
  if ($f["collapse_rate"] != "") {
    g = 1.5 - 20 * d / 3; off = ($f["collapse_rate"] / g - 1) * 100
    if (off < 0) off = -off
    if (off > worst[b]) { worst[b] = off; worst_at[b] = d }
    withcap[b]++
  }
}
END {
  print "| damping | columns | chaotic | transient | captured | captures | exponents | columns with a collapse rate | worst off g | time |"
  print "|---|---|---|---|---|---|---|---|---|---|"
  for (k = 1; k <= 4; k++) if (n[k])
    printf "| %s | %d | %d | %d | %d | %d | %.3f to %.3f | %d | %.1f %% (%.5f) | %.1f min |\n", name[k], n[k],
      reg[k, "chaotic"], reg[k, "transient"], reg[k, "captured"], cap[k], emin[k], emax[k], withcap[k],
      worst[k], worst_at[k], s[k] / 60
}
