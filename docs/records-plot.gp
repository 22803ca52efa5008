set terminal pngcairo size 720,420 font "Liberation Sans,11"
set output "records-plot.png"
set datafile separator ","
set key top left autotitle columnhead
set title "Two quarter-mile runs from corvantis-records --trace"
set xlabel "time (s)"
set ylabel "speed (mph)"
set y2label "distance (yd)"
set ytics nomirror
set y2tics
set grid
plot "run1.csv" using 2:3 with lines lw 2 lc rgb "#d62728" title "run 1 speed", \
     "run2.csv" using 2:3 with lines lw 2 lc rgb "#1f77b4" title "run 2 speed", \
     "run1.csv" using 2:4 axes x1y2 with lines dt 2 lc rgb "#d62728" title "run 1 distance", \
     "run2.csv" using 2:4 axes x1y2 with lines dt 2 lc rgb "#1f77b4" title "run 2 distance"
