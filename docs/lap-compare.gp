set terminal pngcairo size 720,420 font "Liberation Sans,11"
set output "lap-compare.png"
set datafile separator ","
set key top left autotitle columnhead
set title "Laps 3 and 4 side by side, from corvantis-analyze --lap --compare 3,4 --csv"
set xlabel "distance along the reference lap (m)"
set ylabel "speed (mph)"
set y2label "lap 4 - lap 3 (s)"
set ytics nomirror
set y2tics
set grid
plot "compare.csv" using 1:2 with lines lw 1 lc rgb "#d62728" title "lap 3 speed", \
     "compare.csv" using 1:4 with lines lw 1 lc rgb "#1f77b4" title "lap 4 speed", \
     "compare.csv" using 1:($6/1000) axes x1y2 with lines lw 2 lc rgb "#2ca02c" title "running difference"
