# Draws the figures relay_bench wrote with --csv: latency percentiles of one line to
# 100 guests, and the copies per second of the sustained and bulk loads, each on the
# plug-in's devhost (headless, and in real windows under Wine when it ran) against the
# raw poll relay, the yardstick. Both axes of figures are logarithmic: the relays lie
# orders of magnitude apart.
#
#   gnuplot -e "csv='relay.csv'; out='relay.png'; latency=1; rates=1; wine=1" relay_chart.gp
#
# latency and rates (0 or 1) say which panels have data in the file, wine whether the
# run under Wine is in it.

set terminal pngcairo size 1200,500 font ",10"
set output out
set datafile separator ","
set style data histograms
set style histogram clustered gap 1
set style fill solid 0.85 border -1
set boxwidth 0.9
set logscale y
set grid ytics
set key top left
panels = latency + rates
winebars = wine ? '"" using 6 title "devhost under Wine" lc rgb "#d62728",' : ""
relays = wine ? "headless devhost + plug-in, devhost under Wine, raw poll relay" \
              : "devhost + plug-in, raw poll relay"
set multiplot layout 1, (panels > 0 ? panels : 1) title "Relay benchmark on 127.0.0.1 (".relays.")"

if (latency) {
  set title "One line to 100 guests: latency to the last guest"
  set ylabel "milliseconds (log)"
  set yrange [0.05:*]
  plot "< grep '^latency,' ".csv using 4:xtic(2) title "devhost + plug-in" lc rgb "#1f77b4", \
       @winebars \
       "" using 5 title "raw poll relay" lc rgb "#7f7f7f"
}
if (rates) {
  set title "Copies delivered per second (100 guests sustained; 20 guests bulk)"
  set ylabel "copies per second (log)"
  set yrange [100:*]
  plot "< grep -E '^(sustained|bulk),rate,' ".csv using 4:xtic(1) title "devhost + plug-in" lc rgb "#1f77b4", \
       @winebars \
       "" using 5 title "raw poll relay" lc rgb "#7f7f7f"
}
unset multiplot
