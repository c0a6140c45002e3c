# Sourced by the bench scripts: a local nginx that plays the job service. It
# serves $work/www; the job index page answers remote_tools/<SessionID>.xml
# and the status update page answers "Update Sucessful".
#   bench_nginx_start [ACCESS_LOG]
# sets port, base (the base URL for the profiles), www (the remote_tools
# folder) and nginx_pid, which bench_workdir stops at the end. Requests
# are logged only when ACCESS_LOG is given.

# bench_workdir: a fresh work folder in $work, removed with nginx stopped
# when the script ends (kept when KEEP is set).
bench_workdir() {
    work=$(mktemp -d /var/tmp/quillet-bench.XXXXXX)
    nginx_pid=
    trap bench_cleanup EXIT
    if [ -n "${KEEP:-}" ]; then trap - EXIT; fi
}

bench_cleanup() {
    if [ -n "$nginx_pid" ]; then kill "$nginx_pid" 2>/dev/null || true; fi
    rm -rf "$work"
}

bench_nginx_start() {
    # nginx workers started by root run as another user: they must read the files.
    chmod 755 "$work"
    port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
    base="http://127.0.0.1:$port/remote_tools/"
    www="$work/www/remote_tools"
    mkdir -p "$www" "$work/logs"
    printf 'Update Sucessful\r\n' >"$www/job_status_update.asp"
    cat >"$work/nginx.conf" <<CONF
worker_processes 1;
error_log $work/logs/error.log;
pid $work/nginx.pid;
events { worker_connections 256; }
http {
    access_log ${1:-off};
    sendfile on;
    keepalive_requests 100000;
    client_body_temp_path $work/logs;
    proxy_temp_path $work/logs;
    fastcgi_temp_path $work/logs;
    uwsgi_temp_path $work/logs;
    scgi_temp_path $work/logs;
    types { text/xml xml; text/plain asp; audio/wav wav; }
    server {
        listen 127.0.0.1:$port;
        root $work/www;
        # The job index page answers the index of the benchmark in use.
        location = /remote_tools/job_index.asp { alias $work/www/remote_tools/\$arg_SessionID.xml; }
    }
}
CONF
    nginx -c "$work/nginx.conf" -p "$work" -g 'daemon off;' &
    nginx_pid=$!
    local _
    for _ in $(seq 50); do
        curl -s -o /dev/null "${base}job_status_update.asp" && return 0
        sleep 0.1
    done
    echo "nginx did not answer on 127.0.0.1:$port" >&2
    return 1
}

# bench_profile NAME DOWNLOAD_FOLDER: writes $work/NAME.profile, whose GUID
# NAME makes the job index page answer $www/NAME.xml.
bench_profile() {
    cat >"$work/$1.profile" <<XML
<profile>
 <first_name>Bench</first_name>
 <last_name>Typist</last_name>
 <department></department>
 <guid>$1</guid>
 <login>bench</login>
 <password>bench</password>
 <sunday>False</sunday>
 <monday>True</monday>
 <tuesday>True</tuesday>
 <wednesday>True</wednesday>
 <thursday>True</thursday>
 <friday>True</friday>
 <saturday>False</saturday>
 <download_folder>$2</download_folder>
 <pollinterval>5</pollinterval>
 <base_url>$base</base_url>
 <download_rule_1>Job Name</download_rule_1>
</profile>
XML
}
