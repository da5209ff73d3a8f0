<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>AboutDlg</name>
    <message>
        <source>SOCKET 测试工具 VER1.0</source>
        <translation>SOCKET test tool VER1.0</translation>
    </message>
</context>
<context>
    <name>AddressInputDialog</name>
    <message>
        <source>Ip 地址有错!</source>
        <translation>The IP address is wrong!</translation>
    </message>
    <message>
        <source>（正在解析地址…）</source>
        <translation>(looking up the address…)</translation>
    </message>
</context>
<context>
    <name>AllEntries</name>
    <message>
        <source>停止全部连接</source>
        <translation>Stop connecting all</translation>
    </message>
    <message>
        <source>全部连接</source>
        <translation>Connect all</translation>
    </message>
    <message>
        <source>全部断开</source>
        <translation>Disconnect all</translation>
    </message>
    <message>
        <source>全部删除</source>
        <translation>Delete all</translation>
    </message>
    <message>
        <source>发送给全部</source>
        <translation>Send to all</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Note</translation>
    </message>
    <message>
        <source>没有可以接收的对象！</source>
        <translation>There is no one to send to!</translation>
    </message>
</context>
<context>
    <name>AnswerTemplate</name>
    <message>
        <source>第 %1 个字符：%2</source>
        <translation>character %1: %2</translation>
    </message>
    <message>
        <source>匹配内容没有第 %1 个捕获组</source>
        <translation>the pattern has no capture group %1</translation>
    </message>
    <message>
        <source>未知字段“%1”</source>
        <translation>unknown field &quot;%1&quot;</translation>
    </message>
    <message>
        <source>“{”后应是字段名和“}”</source>
        <translation>&quot;{&quot; must be followed by a field name and &quot;}&quot;</translation>
    </message>
    <message>
        <source>不是十六进制数字</source>
        <translation>not a hex digit</translation>
    </message>
    <message>
        <source>缺少一个十六进制数字</source>
        <translation>a hex digit is missing</translation>
    </message>
</context>
<context>
    <name>CommandLine</name>
    <message>
        <source>没有这个平台插件：%1（已安装的有：%2）</source>
        <translation>no such platform plugin: %1 (installed: %2)</translation>
    </message>
    <message>
        <source>手工测试 TCP 与 UDP 网络程序的工具。</source>
        <translation>A tool for testing TCP and UDP network programs by hand.</translation>
    </message>
    <message>
        <source>显示这些选项，然后退出。</source>
        <translation>Show these options, then exit.</translation>
    </message>
    <message>
        <source>显示版本，然后退出。</source>
        <translation>Show the version, then exit.</translation>
    </message>
    <message>
        <source>使用另一个设置文件。</source>
        <translation>Use another settings file.</translation>
    </message>
    <message>
        <source>文件</source>
        <translation>file</translation>
    </message>
    <message>
        <source>启动时在该端口创建 TCP 服务器。</source>
        <translation>Create the TCP server on this port at start.</translation>
    </message>
    <message>
        <source>端口</source>
        <translation>port</translation>
    </message>
    <message>
        <source>启动时在该端口创建 UDP 服务器。</source>
        <translation>Create the UDP server on this port at start.</translation>
    </message>
    <message>
        <source>启动时显示第 N 页：1 TCP 服务器，2 TCP 客户端，3 UDP 服务器，4 UDP 客户端。</source>
        <translation>Show page N at start: 1 TCP server, 2 TCP client, 3 UDP server, 4 UDP client.</translation>
    </message>
    <message>
        <source>启动时打开会话文件。</source>
        <translation>Open a session file at start.</translation>
    </message>
    <message>
        <source>不开窗口运行 --session 的会话，直到收到 SIGINT/SIGTERM 或到时。</source>
        <translation>Run the --session session without a window, until SIGINT/SIGTERM or the time is up.</translation>
    </message>
    <message>
        <source>无窗口运行时把各条目的收发记录写入该目录。</source>
        <translation>Without a window, write each entry&apos;s received and sent logs into this folder.</translation>
    </message>
    <message>
        <source>目录</source>
        <translation>folder</translation>
    </message>
    <message>
        <source>本次运行的界面语言：zh 中文，en 英文（不改变设置）。</source>
        <translation>The interface language of this run: zh Chinese, en English (the setting is not changed).</translation>
    </message>
    <message>
        <source>无窗口运行的秒数。</source>
        <translation>How many seconds to run without a window.</translation>
    </message>
    <message>
        <source>秒</source>
        <translation>seconds</translation>
    </message>
    <message>
        <source>多余的参数：%1</source>
        <translation>extra arguments: %1</translation>
    </message>
    <message>
        <source>界面语言有错：%1（应为 zh 或 en）</source>
        <translation>wrong interface language: %1 (should be zh or en)</translation>
    </message>
    <message>
        <source>设置文件不是普通文件：%1</source>
        <translation>the settings file is not a regular file: %1</translation>
    </message>
    <message>
        <source>端口号有错：%1（应为 1 到 65535）</source>
        <translation>wrong port: %1 (should be 1 to 65535)</translation>
    </message>
    <message>
        <source>页号有错：%1（应为 1 到 4）</source>
        <translation>wrong page: %1 (should be 1 to 4)</translation>
    </message>
    <message>
        <source>--headless 须与 --session 一起使用</source>
        <translation>--headless needs --session</translation>
    </message>
    <message>
        <source>--log-dir 与 --duration 只用于 --headless</source>
        <translation>--log-dir and --duration are only for --headless</translation>
    </message>
    <message>
        <source>秒数有错：%1（应为 1 到 2000000）</source>
        <translation>wrong number of seconds: %1 (should be 1 to 2000000)</translation>
    </message>
</context>
<context>
    <name>CompactLog</name>
    <message>
        <source>（内存不足：已停止接收此连接的数据，之前收到的信息全部保留）</source>
        <translation>(Out of memory: no longer receiving from this connection; everything received before is kept)</translation>
    </message>
    <message>
        <source>（内存不足：此后发送的信息不再记录，之前的记录全部保留）</source>
        <translation>(Out of memory: messages sent from now on are not logged; the log so far is kept)</translation>
    </message>
    <message>
        <source>（无法在缓存目录或临时目录建立日志文件：此记录保存在内存中）</source>
        <translation>(Cannot make a log file in the cache or temporary folder: this log is kept in memory)</translation>
    </message>
    <message>
        <source>（磁盘空间不足：已停止接收此连接的数据，之前收到的信息全部保留）</source>
        <translation>(Disk full: no longer receiving from this connection; everything received before is kept)</translation>
    </message>
    <message>
        <source>（磁盘空间不足：此后发送的信息不再记录，之前的记录全部保留）</source>
        <translation>(Disk full: messages sent from now on are not logged; the log so far is kept)</translation>
    </message>
    <message>
        <source>（写入日志文件出错：已停止接收此连接的数据，之前收到的信息全部保留）</source>
        <translation>(Error writing the log file: no longer receiving from this connection; everything received before is kept)</translation>
    </message>
    <message>
        <source>（写入日志文件出错：此后发送的信息不再记录，之前的记录全部保留）</source>
        <translation>(Error writing the log file: messages sent from now on are not logged; the log so far is kept)</translation>
    </message>
</context>
<context>
    <name>CopyBytesTool</name>
    <message>
        <source>要复制的内容超过 16 MiB，请先选中要复制的几行。</source>
        <translation>There is more than 16 MiB to copy. Select the lines to copy first.</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Note</translation>
    </message>
    <message>
        <source>复制为十六进制</source>
        <translation>Copy as hex</translation>
    </message>
    <message>
        <source>复制为 C 数组</source>
        <translation>Copy as C array</translation>
    </message>
    <message>
        <source>复制为 Base64</source>
        <translation>Copy as Base64</translation>
    </message>
</context>
<context>
    <name>DialogTemplates</name>
    <message>
        <source>收到的信息</source>
        <translation>Received</translation>
    </message>
    <message>
        <source>发送窗口</source>
        <translation>Send</translation>
    </message>
    <message>
        <source>已发送的信息</source>
        <translation>Sent</translation>
    </message>
    <message>
        <source>关于Wirelark</source>
        <translation>About Wirelark</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>TCP 连接</source>
        <translation>TCP</translation>
    </message>
    <message>
        <source>UDP 数据报</source>
        <translation>UDP</translation>
    </message>
    <message>
        <source>手工测试 TCP 与 UDP 网络程序的工具</source>
        <translation>A tool for testing TCP and UDP network programs by hand</translation>
    </message>
    <message>
        <source>请输入端口</source>
        <translation>Enter a port</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>请输入对方地址</source>
        <translation>Enter the peer&apos;s address</translation>
    </message>
    <message>
        <source>对方地址:</source>
        <translation>Address:</translation>
    </message>
    <message>
        <source>对方端口:</source>
        <translation>Port:</translation>
    </message>
    <message>
        <source>连接数量:</source>
        <translation>Count:</translation>
    </message>
    <message>
        <source>本地端口:</source>
        <translation>Local port:</translation>
    </message>
    <message>
        <source>客户数量:</source>
        <translation>Clients:</translation>
    </message>
    <message>
        <source>组播 TTL:</source>
        <translation>TTL:</translation>
    </message>
    <message>
        <source>加入组播组</source>
        <translation>Join a multicast group</translation>
    </message>
    <message>
        <source>组播地址:</source>
        <translation>Group:</translation>
    </message>
    <message>
        <source>定时发送</source>
        <translation>Timed send</translation>
    </message>
    <message>
        <source>间隔(毫秒):</source>
        <translation>Interval (ms):</translation>
    </message>
    <message>
        <source>发送次数:</source>
        <translation>Sends:</translation>
    </message>
    <message>
        <source>0 表示一直发送</source>
        <translation>0: until stopped</translation>
    </message>
    <message>
        <source>收发信息编码设置</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>帮助</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>验证证书</source>
        <translation>Verify</translation>
    </message>
</context>
<context>
    <name>DlgSetIp</name>
    <message>
        <source>输入的端口号有错！</source>
        <translation>The port is wrong!</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Note</translation>
    </message>
    <message>
        <source>连接数量须为 1 到 10000！</source>
        <translation>The number of connections must be 1 to 10000!</translation>
    </message>
</context>
<context>
    <name>EchoTool</name>
    <message>
        <source>回显</source>
        <translation>Echo</translation>
    </message>
</context>
<context>
    <name>EntryCounters</name>
    <message>
        <source>%1 字节</source>
        <translation>%1 bytes</translation>
    </message>
    <message>
        <source>（%1）</source>
        <translation>(%1)</translation>
    </message>
    <message>
        <source>收到：%1，%2 行</source>
        <translation>Received: %1, %2 lines</translation>
    </message>
    <message>
        <source>发送：%1，%2 条</source>
        <translation>Sent: %1, %2 messages</translation>
    </message>
    <message>
        <source>连接时间：%1</source>
        <translation>Connected since: %1</translation>
    </message>
    <message>
        <source>等待发送：%1</source>
        <translation>Waiting to be sent: %1</translation>
    </message>
    <message>
        <source>建立时间：%1</source>
        <translation>Known since: %1</translation>
    </message>
    <message>
        <source>计数清零</source>
        <translation>Reset counters</translation>
    </message>
</context>
<context>
    <name>EntryViews</name>
    <message>
        <source>保存收到的全部信息...</source>
        <translation>Save everything received...</translation>
    </message>
    <message>
        <source>（更早收到的信息未在此显示，右键菜单“保存收到的全部信息...”可保存全部）</source>
        <translation>(Earlier data received is not shown here; &quot;Save everything received...&quot; in the context menu saves it all)</translation>
    </message>
    <message>
        <source>（更早发送的信息未在此显示）</source>
        <translation>(Earlier messages sent are not shown here)</translation>
    </message>
    <message>
        <source>
（内存不足：此视图暂停刷新）
</source>
        <translation>
(Out of memory: this view stops updating for now)
</translation>
    </message>
    <message>
        <source>未选择要清除的连接</source>
        <translation>No connection chosen to clear</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Note</translation>
    </message>
    <message>
        <source>复制</source>
        <translation>Copy</translation>
    </message>
    <message>
        <source>全选</source>
        <translation>Select All</translation>
    </message>
    <message>
        <source>保存收到的信息</source>
        <translation>Save what was received</translation>
    </message>
    <message>
        <source>收到的信息.txt</source>
        <translation>received.txt</translation>
    </message>
    <message>
        <source>文本文件 (*.txt);;所有文件 (*)</source>
        <translation>Text files (*.txt);;All files (*)</translation>
    </message>
    <message>
        <source>正在保存收到的信息…</source>
        <translation>Saving what was received…</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>保存</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>无法保存到这个文件！</source>
        <translation>Cannot save to this file!</translation>
    </message>
</context>
<context>
    <name>FileDialogs</name>
    <message>
        <source>文件夹</source>
        <translation>Folder</translation>
    </message>
    <message>
        <source>文件</source>
        <translation>file</translation>
    </message>
</context>
<context>
    <name>FileSendTool</name>
    <message>
        <source>提示</source>
        <translation>Note</translation>
    </message>
    <message>
        <source>文件是空的，没有可发送的内容。</source>
        <translation>The file is empty: there is nothing to send.</translation>
    </message>
    <message>
        <source>发送文件…</source>
        <translation>Send file…</translation>
    </message>
    <message>
        <source>发送文件</source>
        <translation>Send file</translation>
    </message>
    <message>
        <source>请选择接收端！</source>
        <translation>Choose who receives it!</translation>
    </message>
    <message>
        <source>提示!</source>
        <translation>Note!</translation>
    </message>
</context>
<context>
    <name>FileSource</name>
    <message>
        <source>无法读取文件：%1</source>
        <translation>Cannot read the file: %1</translation>
    </message>
    <message>
        <source>文件超过 %1 字节，无法作为一个数据报发送。</source>
        <translation>The file is larger than %1 bytes and cannot go as one datagram.</translation>
    </message>
    <message>
        <source>（文件 %1，%2 字节）</source>
        <translation>(file %1, %2 bytes)</translation>
    </message>
    <message>
        <source>（读取文件出错：只发出了前 %1 字节）</source>
        <translation>(Error reading the file: only the first %1 bytes went)</translation>
    </message>
</context>
<context>
    <name>FindBar</name>
    <message>
        <source>查找…</source>
        <translation>Find…</translation>
    </message>
    <message>
        <source>十六进制</source>
        <translation>Hex</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>上一个</source>
        <translation>Previous</translation>
    </message>
    <message>
        <source>下一个</source>
        <translation>Next</translation>
    </message>
    <message>
        <source>查找</source>
        <translation>Find</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Note</translation>
    </message>
    <message>
        <source>内存不足，无法查找</source>
        <translation>Out of memory: cannot search</translation>
    </message>
    <message>
        <source>正在查找…</source>
        <translation>Searching…</translation>
    </message>
    <message>
        <source>读取日志出错</source>
        <translation>Error reading the log</translation>
    </message>
    <message>
        <source>%1 处</source>
        <translation>%1 found</translation>
    </message>
    <message>
        <source>（更早的信息未在此显示）
</source>
        <translation>(Earlier data is not shown here)
</translation>
    </message>
    <message>
        <source>（更晚的信息未在此显示，关闭查找栏即回到末尾）
</source>
        <translation>(Later data is not shown here; close the find bar to go back to the end)
</translation>
    </message>
</context>
<context>
    <name>HeadlessRun</name>
    <message>
        <source>wirelark: 写入 %1 失败：%2</source>
        <translation>wirelark: writing %1 failed: %2</translation>
    </message>
    <message>
        <source>wirelark: 无法写入 %1：%2</source>
        <translation>wirelark: cannot write %1: %2</translation>
    </message>
    <message>
        <source>%1 %2：接收 %3 字节 %4 条，发送 %5 字节 %6 条</source>
        <translation>%1 %2: received %3 bytes in %4 pieces, sent %5 bytes in %6 messages</translation>
    </message>
    <message>
        <source>wirelark: 无法打开会话“%1”：%2</source>
        <translation>wirelark: cannot open the session &quot;%1&quot;: %2</translation>
    </message>
    <message>
        <source>wirelark: 无法创建日志目录“%1”</source>
        <translation>wirelark: cannot make the log folder &quot;%1&quot;</translation>
    </message>
    <message>
        <source>wirelark: 未能启动：%1</source>
        <translation>wirelark: could not start: %1</translation>
    </message>
</context>
<context>
    <name>HelpDlg</name>
    <message>
        <source>本程序是 SOCKET 编程测试工具，版本 1.0。
本程序的主要功能如下：
    (1) 支持TCP协议服务器及客户端的创建及信息的收发;
    (2) 支持UDP协议服务器及客户端的创建及信息的收发;
    (3) 支持广播信息的收发;
    (4) 支持组播组的创建、加入及信息的收发;
    (5) 支持几十种信息编码格式信息(比如：Unocode、UFT8、GBK、...)的收发;
    (6) 支持一次创建多个客户端、服务端，可用于对服务器进行压力测试。
本程序运行于 Linux，以及其他能运行 Qt 6 的系统。

</source>
        <translation>This program is a tool for testing SOCKET programs, version 1.0.
What it does:
    (1) creates TCP servers and clients, and sends and receives over them;
    (2) creates UDP servers and clients, and sends and receives over them;
    (3) sends and receives broadcasts;
    (4) creates and joins multicast groups, and sends and receives in them;
    (5) sends and receives in dozens of text encodings (Unicode, UTF-8, GBK, ...);
    (6) creates many clients and servers at once, for load tests of a server.
It runs on Linux and on other systems that run Qt 6.

</translation>
    </message>
</context>
<context>
    <name>HexText</name>
    <message>
        <source>最后一个十六进制数字不成对</source>
        <translation>the last hex digit has no partner</translation>
    </message>
    <message>
        <source>第 %1 个字符不是十六进制数字</source>
        <translation>character %1 is not a hex digit</translation>
    </message>
</context>
<context>
    <name>HexTools</name>
    <message>
        <source>十六进制显示</source>
        <translation>Show as hex</translation>
    </message>
    <message>
        <source>毫秒时间戳</source>
        <translation>Millisecond stamps</translation>
    </message>
    <message>
        <source>十六进制发送</source>
        <translation>Send as hex</translation>
    </message>
    <message>
        <source>发送时展开字段</source>
        <translation>Expand fields when sending</translation>
    </message>
</context>
<context>
    <name>JoinGroupDlg</name>
    <message>
        <source>提示</source>
        <translation>Note</translation>
    </message>
    <message>
        <source>组播地址须在 224.0.0.0 到 239.255.255.255 之间，或在 ff00::/8 内！</source>
        <translation>A multicast group must be between 224.0.0.0 and 239.255.255.255, or in ff00::/8!</translation>
    </message>
</context>
<context>
    <name>Menu</name>
    <message>
        <source>设置(&amp;M)</source>
        <translation>&amp;Menu</translation>
    </message>
    <message>
        <source>设置</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>帮助</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>关于</source>
        <translation>About</translation>
    </message>
    <message>
        <source>退出</source>
        <translation>Exit</translation>
    </message>
</context>
<context>
    <name>MessageBox</name>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>MgrDlg</name>
    <message>
        <source>Wirelark V1.0  TCP/UDP 测试</source>
        <translation>Wirelark V1.0  TCP/UDP testing</translation>
    </message>
</context>
<context>
    <name>PageDoor</name>
    <message>
        <source>（正在发送文件 %1，共 %2 字节）</source>
        <translation>(sending the file %1, %2 bytes)</translation>
    </message>
    <message>
        <source>请选择接收端！</source>
        <translation>Choose who receives it!</translation>
    </message>
    <message>
        <source>提示!</source>
        <translation>Note!</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Note</translation>
    </message>
    <message>
        <source>（回显失败：%1）</source>
        <translation>(Echo failed: %1)</translation>
    </message>
    <message>
        <source>（应答失败：%1）</source>
        <translation>(Answer failed: %1)</translation>
    </message>
</context>
<context>
    <name>PageServerHost</name>
    <message>
        <source>已在端口 %1 监听</source>
        <translation>Listening on port %1</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Note</translation>
    </message>
    <message>
        <source>获取节点数据错误</source>
        <translation>Cannot read the node&apos;s data</translation>
    </message>
    <message>
        <source>监听端口不正确</source>
        <translation>The port to listen on is wrong</translation>
    </message>
    <message>
        <source>错误！</source>
        <translation>Error!</translation>
    </message>
    <message>
        <source>监听启动失败</source>
        <translation>Listening could not start</translation>
    </message>
    <message>
        <source>仅 IPv4，IPv6 不可用：</source>
        <translation>IPv4 only, IPv6 unavailable: </translation>
    </message>
    <message>
        <source>IPv6 地址：</source>
        <translation>IPv6 addresses: </translation>
    </message>
    <message>
        <source>、</source>
        <translation>, </translation>
    </message>
</context>
<context>
    <name>PageSettings</name>
    <message>
        <source>没有写入权限</source>
        <translation>no permission to write</translation>
    </message>
    <message>
        <source>这是一个文件夹</source>
        <translation>it is a folder</translation>
    </message>
    <message>
        <source>路径中有一级不是文件夹</source>
        <translation>part of the path is not a folder</translation>
    </message>
    <message>
        <source>文件系统是只读的</source>
        <translation>the file system is read-only</translation>
    </message>
    <message>
        <source>磁盘空间不足</source>
        <translation>the disk is full</translation>
    </message>
    <message>
        <source>写入失败</source>
        <translation>writing failed</translation>
    </message>
    <message>
        <source>设置无法保存到 %1：%2。</source>
        <translation>The settings cannot be saved to %1: %2.</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Note</translation>
    </message>
</context>
<context>
    <name>PageSnapshot</name>
    <message>
        <source>，</source>
        <translation>, </translation>
    </message>
    <message>
        <source>；</source>
        <translation>; </translation>
    </message>
    <message>
        <source>%1 端口 %2</source>
        <translation>%1 port %2</translation>
    </message>
    <message>
        <source>无法启动</source>
        <translation>cannot start</translation>
    </message>
    <message>
        <source>%1 组播组 %2</source>
        <translation>%1 multicast group %2</translation>
    </message>
    <message>
        <source>连接失败</source>
        <translation>connection failed</translation>
    </message>
    <message>
        <source>%1 %2（本地端口 %3）</source>
        <translation>%1 %2 (local port %3)</translation>
    </message>
    <message>
        <source>%1：%2</source>
        <translation>%1: %2</translation>
    </message>
</context>
<context>
    <name>PcapExportTool</name>
    <message>
        <source>磁盘空间不足</source>
        <translation>the disk is full</translation>
    </message>
    <message>
        <source>没有写入这个位置的权限</source>
        <translation>no permission to write here</translation>
    </message>
    <message>
        <source>这个位置是只读的</source>
        <translation>this place is read-only</translation>
    </message>
    <message>
        <source>文件夹不存在</source>
        <translation>the folder does not exist</translation>
    </message>
    <message>
        <source>这是一个文件夹</source>
        <translation>it is a folder</translation>
    </message>
    <message>
        <source>导出 pcap…</source>
        <translation>Export pcap…</translation>
    </message>
    <message>
        <source>导出 pcap</source>
        <translation>Export pcap</translation>
    </message>
    <message>
        <source>pcap 文件 (*.pcap);;所有文件 (*)</source>
        <translation>pcap files (*.pcap);;All files (*)</translation>
    </message>
    <message>
        <source>无法导出 pcap 文件：内存不足</source>
        <translation>Cannot export the pcap file: out of memory</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Note</translation>
    </message>
    <message>
        <source>正在导出 pcap 文件…</source>
        <translation>Exporting the pcap file…</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>无法导出 pcap 文件：%1</source>
        <translation>Cannot export the pcap file: %1</translation>
    </message>
</context>
<context>
    <name>ReplyRules</name>
    <message>
        <source>“?”应成对出现</source>
        <translation>&quot;?&quot; must come in pairs</translation>
    </message>
    <message>
        <source>不是十六进制数字</source>
        <translation>not a hex digit</translation>
    </message>
    <message>
        <source>缺少一个十六进制数字</source>
        <translation>a hex digit is missing</translation>
    </message>
    <message>
        <source>没有字节</source>
        <translation>no bytes</translation>
    </message>
</context>
<context>
    <name>ReplyRulesDlg</name>
    <message>
        <source>文本相同</source>
        <translation>Text equals</translation>
    </message>
    <message>
        <source>文本包含</source>
        <translation>Text contains</translation>
    </message>
    <message>
        <source>文本开头</source>
        <translation>Text starts with</translation>
    </message>
    <message>
        <source>正则表达式</source>
        <translation>Regular expression</translation>
    </message>
    <message>
        <source>十六进制</source>
        <translation>Hex</translation>
    </message>
    <message>
        <source>文本</source>
        <translation>Text</translation>
    </message>
    <message>
        <source>按包</source>
        <translation>By read</translation>
    </message>
    <message>
        <source>按行</source>
        <translation>By line</translation>
    </message>
    <message>
        <source>定长</source>
        <translation>Fixed length</translation>
    </message>
    <message>
        <source>应答规则</source>
        <translation>Reply rules</translation>
    </message>
    <message>
        <source>启用</source>
        <translation>On</translation>
    </message>
    <message>
        <source>匹配方式</source>
        <translation>Match</translation>
    </message>
    <message>
        <source>匹配内容</source>
        <translation>Pattern</translation>
    </message>
    <message>
        <source>应答形式</source>
        <translation>Answer as</translation>
    </message>
    <message>
        <source>应答内容</source>
        <translation>Answer</translation>
    </message>
    <message>
        <source>延时(毫秒)</source>
        <translation>Delay (ms)</translation>
    </message>
    <message>
        <source>次数</source>
        <translation>Count</translation>
    </message>
    <message>
        <source>添加</source>
        <translation>Add</translation>
    </message>
    <message>
        <source>删除</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>上移</source>
        <translation>Up</translation>
    </message>
    <message>
        <source>下移</source>
        <translation>Down</translation>
    </message>
    <message>
        <source>消息划分：</source>
        <translation>Messages:</translation>
    </message>
    <message>
        <source> 字节</source>
        <translation> bytes</translation>
    </message>
    <message>
        <source>试一试：</source>
        <translation>Try:</translation>
    </message>
    <message>
        <source>试一试</source>
        <translation>Try</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>第 %1 条规则的%2有误，%3</source>
        <translation>Rule %1: the %2 is wrong, %3</translation>
    </message>
    <message>
        <source>。该规则已停用。</source>
        <translation>. The rule is switched off.</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Note</translation>
    </message>
    <message>
        <source>第 %1 条规则的正则表达式匹配超出限制。</source>
        <translation>Rule %1: the regular expression went beyond the match limits.</translation>
    </message>
    <message>
        <source>没有规则匹配。</source>
        <translation>No rule matches.</translation>
    </message>
    <message>
        <source>第 %1 条规则匹配，不应答。</source>
        <translation>Rule %1 matches and answers nothing.</translation>
    </message>
    <message>
        <source>第 %1 条规则应答 %2 字节：%3
“%4”</source>
        <translation>Rule %1 answers %2 bytes: %3
&quot;%4&quot;</translation>
    </message>
</context>
<context>
    <name>ReplyRulesTool</name>
    <message>
        <source>应答规则…</source>
        <translation>Reply rules…</translation>
    </message>
    <message>
        <source>应答规则 %1 的正则表达式匹配超出限制，已停用</source>
        <translation>Reply rule %1: the regular expression went beyond the match limits; switched off</translation>
    </message>
</context>
<context>
    <name>SendBox</name>
    <message>
        <source>撤销</source>
        <translation>Undo</translation>
    </message>
    <message>
        <source>重做</source>
        <translation>Redo</translation>
    </message>
    <message>
        <source>剪切</source>
        <translation>Cut</translation>
    </message>
    <message>
        <source>复制</source>
        <translation>Copy</translation>
    </message>
    <message>
        <source>粘贴</source>
        <translation>Paste</translation>
    </message>
    <message>
        <source>删除</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>全选</source>
        <translation>Select All</translation>
    </message>
</context>
<context>
    <name>SessionFile</name>
    <message>
        <source>%1 有错：%2</source>
        <translation>%1 is wrong: %2</translation>
    </message>
    <message>
        <source>缺少该项</source>
        <translation>missing</translation>
    </message>
    <message>
        <source>%1（应为 %2 到 %3 的整数）</source>
        <translation>%1 (should be a whole number from %2 to %3)</translation>
    </message>
    <message>
        <source>%1（应为 true 或 false）</source>
        <translation>%1 (should be true or false)</translation>
    </message>
    <message>
        <source>应为对象</source>
        <translation>should be an object</translation>
    </message>
    <message>
        <source>应为数组</source>
        <translation>should be an array</translation>
    </message>
    <message>
        <source>（无）</source>
        <translation>(none)</translation>
    </message>
    <message>
        <source>0（监听须有 1 到 65535 的端口）</source>
        <translation>0 (listening needs a port from 1 to 65535)</translation>
    </message>
    <message>
        <source>条目总数超过 %1</source>
        <translation>more than %1 entries in all</translation>
    </message>
    <message>
        <source>%1（本地端口将超过 65535）</source>
        <translation>%1 (the local ports would go beyond 65535)</translation>
    </message>
    <message>
        <source>不是有效的 JSON：第 %1 行第 %2 列，%3</source>
        <translation>not valid JSON: line %1, column %2, %3</translation>
    </message>
    <message>
        <source>不是 Wirelark 会话文件（缺少 &quot;format&quot;: &quot;%1&quot;）</source>
        <translation>not a Wirelark session file (&quot;format&quot;: &quot;%1&quot; is missing)</translation>
    </message>
    <message>
        <source>会话文件的版本有错：%1</source>
        <translation>wrong session file version: %1</translation>
    </message>
    <message>
        <source>会话文件的版本 %1 比本程序新（本程序读版本 %2）</source>
        <translation>the session file&apos;s version %1 is newer than this program (which reads version %2)</translation>
    </message>
    <message>
        <source>系统不支持编码 %1</source>
        <translation>the system does not convert the encoding %1</translation>
    </message>
    <message>
        <source>无法打开文件：%1</source>
        <translation>cannot open the file: %1</translation>
    </message>
    <message>
        <source>文件太大，不是会话文件</source>
        <translation>the file is too large to be a session file</translation>
    </message>
    <message>
        <source>%1（应为文本）</source>
        <translation>%1 (should be text)</translation>
    </message>
    <message>
        <source>%1 不是 IP 地址</source>
        <translation>%1 is not an IP address</translation>
    </message>
    <message>
        <source>%1 不是组播地址（224.0.0.0～239.255.255.255 或 ff00::/8）</source>
        <translation>%1 is not a multicast group (224.0.0.0 to 239.255.255.255, or ff00::/8)</translation>
    </message>
</context>
<context>
    <name>SessionMenu</name>
    <message>
        <source>提示</source>
        <translation>Note</translation>
    </message>
    <message>
        <source>Wirelark 会话 (*.wirelark);;所有文件 (*)</source>
        <translation>Wirelark sessions (*.wirelark);;All files (*)</translation>
    </message>
    <message>
        <source>打开会话</source>
        <translation>Open session</translation>
    </message>
    <message>
        <source>保存会话</source>
        <translation>Save session</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>以下各项未能启动：
</source>
        <translation>These could not start:
</translation>
    </message>
    <message>
        <source>当前的连接将被关闭，是否继续？</source>
        <translation>The connections now open will be closed. Go on?</translation>
    </message>
    <message>
        <source>打开会话…</source>
        <translation>Open session…</translation>
    </message>
    <message>
        <source>保存会话…</source>
        <translation>Save session…</translation>
    </message>
    <message>
        <source>保存会话失败：%1</source>
        <translation>Saving the session failed: %1</translation>
    </message>
    <message>
        <source>无法打开会话“%1”：
%2</source>
        <translation>Cannot open the session &quot;%1&quot;:
%2</translation>
    </message>
</context>
<context>
    <name>SessionSetup</name>
    <message>
        <source>编码</source>
        <translation>encoding</translation>
    </message>
    <message>
        <source>系统不支持编码“%1”</source>
        <translation>the system does not convert the encoding &quot;%1&quot;</translation>
    </message>
</context>
<context>
    <name>SetDlg</name>
    <message>
        <source>启动时恢复上次会话</source>
        <translation>Restore the last session at start</translation>
    </message>
    <message>
        <source>界面语言：</source>
        <translation>Interface language:</translation>
    </message>
    <message>
        <source>（重新启动后生效）</source>
        <translation>(applies after a restart)</translation>
    </message>
    <message>
        <source>收发信息编码设置：</source>
        <translation>Encoding:</translation>
    </message>
    <message>
        <source>系统不支持编码“%1”，请重新输入！</source>
        <translation>The system does not convert the encoding &quot;%1&quot;. Please type another!</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Note</translation>
    </message>
</context>
<context>
    <name>SetListenDlg</name>
    <message>
        <source>输入的端口号有错！</source>
        <translation>The port is wrong!</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Note</translation>
    </message>
</context>
<context>
    <name>SetUdpServerIp</name>
    <message>
        <source>输入的端口号有错！</source>
        <translation>The port is wrong!</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Note</translation>
    </message>
    <message>
        <source>本地端口已经被占用!</source>
        <translation>The local port is already in use!</translation>
    </message>
    <message>
        <source>客户数量须为 1 到 10000！</source>
        <translation>The number of clients must be 1 to 10000!</translation>
    </message>
    <message>
        <source>本地端口加客户数量超过 65535！</source>
        <translation>The local port plus the number of clients goes beyond 65535!</translation>
    </message>
    <message>
        <source>组播 TTL 须为 1 到 255！</source>
        <translation>The multicast TTL must be 1 to 255!</translation>
    </message>
</context>
<context>
    <name>SocketErrorText</name>
    <message>
        <source>打开的描述符已近上限（留出 %1 个给窗口使用）。</source>
        <translation>Open descriptors are near the limit (%1 are kept for the window).</translation>
    </message>
    <message>
        <source>对方拒绝连接。</source>
        <translation>The peer refused the connection.</translation>
    </message>
    <message>
        <source>连接超时。</source>
        <translation>The connection timed out.</translation>
    </message>
    <message>
        <source>连接被对方重置。</source>
        <translation>The peer reset the connection.</translation>
    </message>
    <message>
        <source>端口已被占用：另一个 UDP 套接字正在使用这个端口。</source>
        <translation>The port is in use: another UDP socket uses it.</translation>
    </message>
    <message>
        <source>端口已被占用：另一个套接字正在使用这个端口。</source>
        <translation>The port is in use: another socket uses it.</translation>
    </message>
    <message>
        <source>不允许向广播地址发送。</source>
        <translation>Sending to a broadcast address is not allowed.</translation>
    </message>
    <message>
        <source>1024 以下的端口需要管理员权限。</source>
        <translation>Ports below 1024 need administrator rights.</translation>
    </message>
    <message>
        <source>本机没有可用于发送的地址。</source>
        <translation>This machine has no address to send from.</translation>
    </message>
    <message>
        <source>本机没有这个地址。</source>
        <translation>This machine has no such address.</translation>
    </message>
    <message>
        <source>信息太长：一个数据报最多 65507 字节。</source>
        <translation>The message is too long: a datagram holds at most 65507 bytes.</translation>
    </message>
    <message>
        <source>网络不可达。</source>
        <translation>The network is unreachable.</translation>
    </message>
    <message>
        <source>对方主机不可达。</source>
        <translation>The peer&apos;s host is unreachable.</translation>
    </message>
    <message>
        <source>对方端口拒绝接收：上一个数据报被告知端口不可达。</source>
        <translation>The peer&apos;s port refuses: the last datagram was answered with &quot;port unreachable&quot;.</translation>
    </message>
    <message>
        <source>系统发送缓冲区已满，请稍后再试。</source>
        <translation>The system&apos;s send buffer is full. Please try again later.</translation>
    </message>
    <message>
        <source>系统无法启动接收线程，请稍后再试。</source>
        <translation>The system cannot start a receiving thread. Please try again later.</translation>
    </message>
    <message>
        <source>打开的套接字太多，系统无法再打开。</source>
        <translation>Too many sockets are open; the system cannot open more.</translation>
    </message>
    <message>
        <source>系统内存不足。</source>
        <translation>The system is out of memory.</translation>
    </message>
    <message>
        <source>套接字已经关闭。</source>
        <translation>The socket is closed.</translation>
    </message>
    <message>
        <source>系统错误码 %1。</source>
        <translation>System error code %1.</translation>
    </message>
    <message>
        <source>本机没有 IPv6。</source>
        <translation>This machine has no IPv6.</translation>
    </message>
    <message>
        <source>本机没有可用的 IPv6 地址（IPv6 未启用）。</source>
        <translation>This machine has no usable IPv6 address (IPv6 is off).</translation>
    </message>
    <message>
        <source>链路本地地址须指明本机的网络接口（如 fe80::1%eth0）。</source>
        <translation>A link-local address must name the local network interface (as in fe80::1%eth0).</translation>
    </message>
    <message>
        <source>IPv6 网络不可达。</source>
        <translation>The IPv6 network is unreachable.</translation>
    </message>
</context>
<context>
    <name>TcpClientBatch</name>
    <message>
        <source>系统无法启动连接线程，请稍后再试。</source>
        <translation>The system cannot start a connecting thread. Please try again later.</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Note</translation>
    </message>
    <message>
        <source>%1 个连接失败</source>
        <translation>%1 connections failed</translation>
    </message>
</context>
<context>
    <name>TcpClientPage</name>
    <message>
        <source>客户端连接失败!</source>
        <translation>The client could not connect!</translation>
    </message>
    <message>
        <source>创建套接字出错!</source>
        <translation>Error creating the socket!</translation>
    </message>
    <message>
        <source>正在连接，请稍候！</source>
        <translation>Connecting, please wait!</translation>
    </message>
    <message>
        <source>提示!</source>
        <translation>Note!</translation>
    </message>
</context>
<context>
    <name>TcpPageBase</name>
    <message>
        <source>（未发出 %1 字节：连接已断开）</source>
        <translation>(%1 bytes not sent: the connection is closed)</translation>
    </message>
    <message>
        <source>未建立链接！</source>
        <translation>Not connected!</translation>
    </message>
    <message>
        <source>提示!</source>
        <translation>Note!</translation>
    </message>
    <message>
        <source>系统无法启动发送线程，请稍后再试。文件没有发出。</source>
        <translation>The system cannot start a sending thread. Please try again later. The file was not sent.</translation>
    </message>
    <message>
        <source>系统无法启动发送线程，请稍后再试。</source>
        <translation>The system cannot start a sending thread. Please try again later.</translation>
    </message>
    <message>
        <source>（等待发送：已发出 %1 / %2 字节）</source>
        <translation>(waiting to send: %1 / %2 bytes sent)</translation>
    </message>
    <message>
        <source>对方 %1 秒未接收数据。本条信息共 %2 字节，已发出 %3 字节，其余的在对方接收时继续发出。</source>
        <translation>The peer has not read for %1 s. Of this message&apos;s %2 bytes, %3 went; the rest goes when the peer reads.</translation>
    </message>
    <message>
        <source>%1 个连接的对方 %2 秒未接收数据，共 %3 字节等待发出，其余的在对方接收时继续发出。</source>
        <translation>The peers of %1 connections have not read for %2 s; %3 bytes wait to be sent and go when the peers read.</translation>
    </message>
    <message>
        <source>（对方 %1 秒未接收数据：本条信息 %2 字节，已发出 %3 字节）</source>
        <translation>(The peer has not read for %1 s: this message %2 bytes, %3 bytes sent)</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Note</translation>
    </message>
    <message>
        <source>对方已经断开！</source>
        <translation>The peer has disconnected!</translation>
    </message>
</context>
<context>
    <name>TcpServerPage</name>
    <message>
        <source>%1 个连接未能接受：%2</source>
        <translation>%1 connections could not be accepted: %2</translation>
    </message>
    <message>
        <source>有连接在等待接受：%1</source>
        <translation>Connections wait to be accepted: %1</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Note</translation>
    </message>
</context>
<context>
    <name>TimedSendDlg</name>
    <message>
        <source>间隔须为 1 到 86400000 毫秒！</source>
        <translation>The interval must be 1 to 86400000 ms!</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Note</translation>
    </message>
</context>
<context>
    <name>TimedSendTool</name>
    <message>
        <source>停止定时发送</source>
        <translation>Stop timed send</translation>
    </message>
    <message>
        <source>定时发送…</source>
        <translation>Timed send…</translation>
    </message>
    <message>
        <source>请选择接收端！</source>
        <translation>Choose who receives it!</translation>
    </message>
    <message>
        <source>提示!</source>
        <translation>Note!</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Note</translation>
    </message>
    <message>
        <source>请先在发送窗口输入要发送的内容！</source>
        <translation>Type what to send in the send box first!</translation>
    </message>
    <message>
        <source>（定时发送结束：发送 %1 次，跳过 %2 次）</source>
        <translation>(Timed send ended: sent %1 times, skipped %2 times)</translation>
    </message>
</context>
<context>
    <name>TlsServerOption</name>
    <message>
        <source>证书文件无法读取</source>
        <translation>The certificate file cannot be read</translation>
    </message>
    <message>
        <source>证书文件不是 PEM 格式的证书</source>
        <translation>The certificate file is not a PEM certificate</translation>
    </message>
    <message>
        <source>私钥文件无法读取</source>
        <translation>The key file cannot be read</translation>
    </message>
    <message>
        <source>私钥文件不是 PEM 格式的私钥</source>
        <translation>The key file is not a PEM private key</translation>
    </message>
    <message>
        <source>私钥有口令保护，未输入口令</source>
        <translation>The key is protected by a passphrase, and none was given</translation>
    </message>
    <message>
        <source>私钥口令不正确</source>
        <translation>Wrong passphrase for the key</translation>
    </message>
    <message>
        <source>私钥与证书不匹配</source>
        <translation>The key does not match the certificate</translation>
    </message>
    <message>
        <source>无法生成本机证书</source>
        <translation>Cannot make a certificate for this machine</translation>
    </message>
    <message>
        <source>无法保存本机证书</source>
        <translation>Cannot save the certificate for this machine</translation>
    </message>
    <message>
        <source>下次开始监听时生效</source>
        <translation>Takes effect the next time the server starts listening</translation>
    </message>
    <message>
        <source>选择证书…</source>
        <translation>Choose Certificate…</translation>
    </message>
    <message>
        <source>选择证书（PEM 证书链）</source>
        <translation>Choose the certificate (PEM chain)</translation>
    </message>
    <message>
        <source>选择私钥（PEM）</source>
        <translation>Choose the private key (PEM)</translation>
    </message>
    <message>
        <source>私钥口令</source>
        <translation>Key Passphrase</translation>
    </message>
    <message>
        <source>私钥 %1 有口令保护，请输入口令：</source>
        <translation>The key %1 is protected by a passphrase. Enter it:</translation>
    </message>
    <message>
        <source>错误！</source>
        <translation>Error!</translation>
    </message>
</context>
<context>
    <name>TlsStream</name>
    <message>
        <source>对方发来的不是 TLS 握手数据</source>
        <translation>the peer did not send a TLS handshake</translation>
    </message>
    <message>
        <source>双方没有共同的加密套件</source>
        <translation>no cipher suite in common</translation>
    </message>
    <message>
        <source>双方没有共同的协议版本</source>
        <translation>no protocol version in common</translation>
    </message>
    <message>
        <source>证书验证失败</source>
        <translation>certificate verification failed</translation>
    </message>
    <message>
        <source>对方在握手中途关闭了连接</source>
        <translation>the peer closed the connection during the handshake</translation>
    </message>
    <message>
        <source>对方发来警报，拒绝了握手</source>
        <translation>the peer sent an alert and refused the handshake</translation>
    </message>
    <message>
        <source>握手未能完成</source>
        <translation>the handshake did not complete</translation>
    </message>
    <message>
        <source>自签名证书</source>
        <translation>self-signed certificate</translation>
    </message>
    <message>
        <source>证书链中有不受信任的自签名证书</source>
        <translation>untrusted self-signed certificate in the chain</translation>
    </message>
    <message>
        <source>找不到签发者的证书</source>
        <translation>issuer certificate not found</translation>
    </message>
    <message>
        <source>证书已过期</source>
        <translation>certificate expired</translation>
    </message>
    <message>
        <source>证书尚未生效</source>
        <translation>certificate not yet valid</translation>
    </message>
    <message>
        <source>证书与主机名不符</source>
        <translation>certificate does not match the host name</translation>
    </message>
    <message>
        <source>证书与 IP 地址不符</source>
        <translation>certificate does not match the IP address</translation>
    </message>
    <message>
        <source>证书不受信任</source>
        <translation>certificate not trusted</translation>
    </message>
    <message>
        <source>对方没有发送 close_notify 就关闭了连接</source>
        <translation>The peer closed the connection without close_notify</translation>
    </message>
    <message>
        <source>连接中断：</source>
        <translation>Connection broken: </translation>
    </message>
    <message>
        <source>对方发来 close_notify，TLS 会话结束</source>
        <translation>The peer sent close_notify; the TLS session ended</translation>
    </message>
    <message>
        <source>TLS 出错，连接结束：%1（%2）</source>
        <translation>TLS error, connection ended: %1 (%2)</translation>
    </message>
    <message>
        <source>对方要求重新协商，本程序不支持</source>
        <translation>the peer asked to renegotiate, which is not supported</translation>
    </message>
    <message>
        <source>TLS 握手失败：</source>
        <translation>TLS handshake failed: </translation>
    </message>
    <message>
        <source>连接已关闭</source>
        <translation>the connection is closed</translation>
    </message>
    <message>
        <source>%1（%2）</source>
        <translation>%1 (%2)</translation>
    </message>
    <message>
        <source>握手超时（%1 秒内未完成）</source>
        <translation>handshake timed out (not done within %1 s)</translation>
    </message>
    <message>
        <source>证书验证未通过，已断开连接</source>
        <translation>Certificate verification failed; disconnected</translation>
    </message>
    <message>
        <source>TLS 握手完成：%1，%2</source>
        <translation>TLS handshake done: %1, %2</translation>
    </message>
    <message>
        <source>TLS %1，本端证书 SHA-256 指纹：%2</source>
        <translation>TLS %1, own certificate SHA-256 fingerprint: %2</translation>
    </message>
    <message>
        <source>；对方没有出示证书；证书验证：失败（没有证书）</source>
        <translation>; the peer showed no certificate; verification: failed (no certificate)</translation>
    </message>
    <message>
        <source>TLS %1，对方没有证书</source>
        <translation>TLS %1, the peer has no certificate</translation>
    </message>
    <message>
        <source>；证书主题：</source>
        <translation>; subject: </translation>
    </message>
    <message>
        <source>；签发者：</source>
        <translation>; issuer: </translation>
    </message>
    <message>
        <source>；有效期：%1 至 %2</source>
        <translation>; valid: %1 to %2</translation>
    </message>
    <message>
        <source>；SHA-256 指纹：</source>
        <translation>; SHA-256 fingerprint: </translation>
    </message>
    <message>
        <source>；证书验证：通过</source>
        <translation>; verification: passed</translation>
    </message>
    <message>
        <source>；证书验证：失败（%1：%2）</source>
        <translation>; verification: failed (%1: %2)</translation>
    </message>
    <message>
        <source>TLS %1，证书 SHA-256 指纹：%2</source>
        <translation>TLS %1, certificate SHA-256 fingerprint: %2</translation>
    </message>
</context>
<context>
    <name>UdpClientPage</name>
    <message>
        <source>本地端口已经被占用!</source>
        <translation>The local port is already in use!</translation>
    </message>
    <message>
        <source>加入组播组失败：</source>
        <translation>Joining the multicast group failed:</translation>
    </message>
    <message>
        <source>设置广播失败：</source>
        <translation>Setting up broadcast failed:</translation>
    </message>
    <message>
        <source>错误!</source>
        <translation>Error!</translation>
    </message>
    <message>
        <source>创建套接字失败</source>
        <translation>Creating the socket failed</translation>
    </message>
    <message>
        <source>绑定本地端口出错</source>
        <translation>Error binding the local port</translation>
    </message>
</context>
<context>
    <name>UdpGroups</name>
    <message>
        <source>加入组播组…</source>
        <translation>Join multicast group…</translation>
    </message>
    <message>
        <source>退出组播组</source>
        <translation>Leave multicast group</translation>
    </message>
    <message>
        <source>加入组播组失败：</source>
        <translation>Joining the multicast group failed:</translation>
    </message>
    <message>
        <source>服务器未启动，无法加入组播组！</source>
        <translation>The server is not running: cannot join a multicast group!</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Note</translation>
    </message>
    <message>
        <source>退出组播组失败：</source>
        <translation>Leaving the multicast group failed:</translation>
    </message>
    <message>
        <source>加入组播组 %1 失败：</source>
        <translation>Joining the multicast group %1 failed:</translation>
    </message>
</context>
<context>
    <name>UdpMembership</name>
    <message>
        <source>已加入该组播组</source>
        <translation>already a member of this group</translation>
    </message>
    <message>
        <source>未加入该组播组</source>
        <translation>not a member of this group</translation>
    </message>
    <message>
        <source>加入的组播组已达系统上限</source>
        <translation>the system&apos;s limit of groups joined is reached</translation>
    </message>
    <message>
        <source>系统不允许此操作</source>
        <translation>the system does not allow this</translation>
    </message>
    <message>
        <source>套接字已关闭</source>
        <translation>the socket is closed</translation>
    </message>
    <message>
        <source>系统错误（错误码 %1）</source>
        <translation>system error (code %1)</translation>
    </message>
    <message>
        <source>不是组播地址（224.0.0.0～239.255.255.255 或 ff00::/8）</source>
        <translation>not a multicast group (224.0.0.0 to 239.255.255.255, or ff00::/8)</translation>
    </message>
    <message>
        <source>套接字只有 IPv4（本机的 IPv6 不可用）</source>
        <translation>the socket is IPv4 only (IPv6 is unavailable here)</translation>
    </message>
    <message>
        <source>没有可用于组播的网络接口（IPv6 组播可用 %接口 指明，如 ff02::1%eth0）</source>
        <translation>no network interface for multicast (for IPv6, name one with %interface, as in ff02::1%eth0)</translation>
    </message>
</context>
<context>
    <name>UdpPageBase</name>
    <message>
        <source>发送出错了！</source>
        <translation>Sending failed!</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Note</translation>
    </message>
    <message>
        <source>发送出错！</source>
        <translation>Sending failed!</translation>
    </message>
</context>
<context>
    <name>UnservedRecord</name>
    <message>
        <source>（系统资源不足，无法启动接收线程：已关闭此连接）</source>
        <translation>(Out of system resources, no receiving thread could start: this connection is closed)</translation>
    </message>
</context>
</TS>
