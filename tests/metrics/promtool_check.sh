#!/usr/bin/env bash
# Prometheus's own checker on what TAVU gives it. Skipped (77) without promtool.
#   promtool_check.sh metrics SAMPLE_PROGRAM   the exposition the program prints
#   promtool_check.sh rules DOCS RULES_TEST    the example rules and configuration, and their test
set -u
command -v promtool >/dev/null || { echo "skipped: needs promtool (Debian package prometheus)"; exit 77; }
case "$1" in
metrics)
    text=$("$2") || { echo "FAIL: the sample program failed"; exit 1; }
    problems=$(printf '%s\n' "$text" | promtool check metrics 2>&1)
    status=$?
    [ "$status" = 0 ] && [ -z "$problems" ] || { echo "FAIL ($status): $problems"; exit 1; }
    ;;
rules)
    promtool check rules "$2/prometheus-rules.yml" || exit 1
    promtool check config "$2/prometheus.yml" || exit 1
    promtool test rules "$3" || exit 1
    ;;
*)
    echo "usage: $0 metrics PROGRAM | rules DOCS RULES_TEST"
    exit 2
    ;;
esac
echo PASS
