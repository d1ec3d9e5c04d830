# nzbget's configuration for a private run against a news server on 127.0.0.1 (sourced by
# tools/bench-download and tools/nzbget-fetch).

# nzbget_conf MAINDIR CONTROL_PORT CONNECTIONS SERVER_PORT
nzbget_conf() {
    local n=$1 control=$2 connections=$3 port=$4
    cat <<EOF
MainDir=$n
DestDir=$n/dst
InterDir=$n/inter
NzbDir=$n/nzb
QueueDir=$n/queue
TempDir=$n/tmp
ScriptDir=$n/scripts
LockFile=$n/nzbget.lock
LogFile=$n/nzbget.log
WebDir=
ConfigTemplate=/usr/share/nzbget/webui/nzbget.conf
Server1.Active=yes
Server1.Name=inn
Server1.Level=0
Server1.Host=127.0.0.1
Server1.Port=$port
Server1.Username=
Server1.Password=
Server1.Connections=$connections
Server1.Encryption=no
Server1.JoinGroup=no
ControlIP=127.0.0.1
ControlPort=$control
ControlUsername=nzbget
ControlPassword=bench
SecureControl=no
UpdateCheck=none
AppendCategoryDir=no
DupeCheck=no
ArticleCache=0
DirectWrite=yes
CrcCheck=yes
ParCheck=manual
ParRepair=no
ParRename=no
RarRename=no
DirectRename=no
HealthCheck=none
Unpack=no
DirectUnpack=no
WriteLog=append
OutputMode=loggable
DiskSpace=0
KeepHistory=1
NzbDirInterval=0
EOF
}
