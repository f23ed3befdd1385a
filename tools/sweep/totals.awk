# Adds up the "[sweep] ..." tally lines the sweep's shards print (ctest -V
# prefixes each with its test number) into one line per kind of tally: lines
# that differ only in their numbers are one kind, and their numbers are added
# place by place (a line's name before its first ": ", such as a pass's, is
# kept as it is). Kinds print in the order first seen.
{
    i = index($0, "[sweep] ");
    if (i == 0) next;
    text = substr($0, i + 8);
    head = "";
    if ((c = index(text, ": ")) > 0) {
        head = substr(text, 1, c + 1);
        text = substr(text, c + 2);
    }
    key = text;
    gsub(/[0-9]+/, "#", key);
    key = head SUBSEP key;
    if (!(key in seen)) {
        seen[key] = 1;
        order[++kinds] = key;
    }
    n = 0;
    rest = text;
    while (match(rest, /[0-9]+/)) {
        n++;
        sum[key, n] += substr(rest, RSTART, RLENGTH);
        rest = substr(rest, RSTART + RLENGTH);
    }
    count[key] = n;
}
END {
    if (kinds == 0) {
        print "[sweep total] no tally lines found";
        exit 0;
    }
    for (k = 1; k <= kinds; k++) {
        key = order[k];
        split(key, part, SUBSEP);
        out = part[1];
        rest = part[2];
        n = 0;
        while ((j = index(rest, "#")) > 0) {
            n++;
            out = out substr(rest, 1, j - 1) sum[key, n];
            rest = substr(rest, j + 1);
        }
        print "[sweep total] " out rest;
    }
}
