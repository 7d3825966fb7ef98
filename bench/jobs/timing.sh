# Shared by the bench scripts (sourced): medians and timed runs. Needs $work, the script's
# scratch folder.

# median: the median of the numbers on stdin, one a line ("nan" when there are none)
median() { sort -g | awk '{a[NR]=$1} END {if (NR==0) print "nan"; else if (NR%2) print a[(NR+1)/2]; else print (a[NR/2]+a[NR/2+1])/2}'; }

# timed NAME CMD...: one run, its wall time appended to $work/NAME.t, its stderr in $work/NAME.err
timed() {
  local name=$1; shift
  /usr/bin/time -f '%e' -o "$work/t.out" "$@" >/dev/null 2>"$work/$name.err" || { echo "failed: $name" >&2; cat "$work/$name.err" >&2; return 1; }
  cat "$work/t.out" >>"$work/$name.t"
}
