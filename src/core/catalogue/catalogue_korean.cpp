// Korean texts of the message catalogue (Windows locale 1042).

#include "core/catalogue/catalogue.h"

namespace {
const wchar_t* const texts[] = {
    /* 0 */ L"설치를 시작하는 중 ",
    /* 1 */ L"QuentaSwiftset 설치 프로그램을 초기화하는 중",
    /* 2 */ L"QuentaSwiftset 연결 데이터를 가져오는 중",
    /* 3 */ L"QuentaSwiftset 연결 URL을 만드는 중",
    /* 4 */ L"구성 매개 변수를 생성하는 중",
    /* 5 */ L"%ls에서 구성 파일을 다운로드하는 중",
    /* 6 */ L"구성 파일을 확인하는 중",
    /* 7 */ L"구성 파일의 압축을 푸는 중",
    /* 8 */ L"리포지토리에서 설치 파일을 다운로드하는 중",
    /* 9 */ L"에이전트 설치 파일 %ls을(를) 확인하는 중",
    /* 10 */ L"에이전트 설치 프로그램 바이너리의 압축을 푸는 중",
    /* 11 */ L"에이전트를 설치하는 중입니다. 시간이 걸릴 수 있습니다...",
    /* 12 */ L"설치 후 정리하는 중",
    /* 13 */
    L"Quenta Agent 설치가 완료되었습니다. 추가 보안 제품은 조직에서 관리하는 정책에 따라 "
    L"설치됩니다.",
    /* 14 */ L"작업을 중단하는 중입니다. 시간이 걸릴 수 있습니다...",
    /* 15 */ L"QuentaSwiftset 초기화에 실패했습니다",
    /* 16 */ L"QuentaSwiftset 이름을 가져오지 못했습니다",
    /* 17 */ L"에이전트 구성 데이터를 다운로드할 URL을 찾는 중 오류가 발생했습니다",
    /* 18 */ L"FQDN 이름을 가져올 수 없습니다",
    /* 19 */ L"에이전트 GUID 생성에 실패했습니다",
    /* 20 */ L"구성 데이터를 가져올 URL을 생성하는 중",
    /* 21 */ L"구성 데이터를 가져올 URL을 생성하지 못했습니다",
    /* 22 */ L"구성 파일을 다운로드할 수 없습니다",
    /* 23 */ L"구성 파일 확인에 실패했습니다",
    /* 24 */ L"구성 파일의 압축을 풀지 못했습니다",
    /* 25 */ L"설치 파일을 다운로드할 수 없습니다",
    /* 26 */ L"에이전트 설치 파일 %ls 확인에 실패했습니다",
    /* 27 */ L"설치 파일의 압축을 풀지 못했습니다",
    /* 28 */ L"에이전트 설치에 실패했습니다",
    /* 29 */ L"정리가 완료되지 않았습니다",
    /* 30 */ L"에이전트 QuentaSwiftset 작업 중 오류가 발생했습니다",
    /* 31 */ L"잘못되었거나 만료된 토큰 코드로 요청이 전송되었을 수 있습니다:응답: %ls",
    /* 32 */ L"이 QuentaSwiftset의 사용 횟수가 초과되었을 수 있습니다:응답: %ls",
    /* 33 */ L"구성 요청 응답 코드: %ls",
    /* 34 */ L"Quenta Swiftset 도움말",
    /* 35 */
    L"\n"
    L"옵션:-\t\t\t\n"
    L"QuentaSwiftset.exe -d <데이터 경로>\t\t\t\n"
    L"QuentaSwiftset.exe -i <설치 경로>\t\t\t\n"
    L"QuentaSwiftset.exe -g <디버그 로그>\t\t\t\n"
    L"QuentaSwiftset.exe -a <프록시 주소>\t\t\t\n"
    L"QuentaSwiftset.exe -p <프록시 포트>\t\t\t\n"
    L"QuentaSwiftset.exe -u <프록시 사용자 이름>\t\t\t\n"
    L"QuentaSwiftset.exe -w <프록시 암호>\t\t\t\n"
    L"QuentaSwiftset.exe -k <HTTPS 피어 확인 사용 안 함>\t\t\t\n"
    L"QuentaSwiftset.exe -s <자동 설치>\t\t\t\n"
    L"QuentaSwiftset.exe -v <에이전트에 VDI 환경 알림>\t\t\t\n"
    L"QuentaSwiftset.exe -f <에이전트 배포용 강제 설치 옵션>\t\t\t\n"
    L"QuentaSwiftset.exe -h <에이전트 배포용 keepGUID 옵션을 사용한 강제 설치>\t\t\t\n"
    L"QuentaSwiftset.exe -? <도움말>",
    /* 36 */
    L"\n"
    L"옵션:-\t\t\t\n"
    L"QuentaSwiftset.sh -d <데이터 경로>\t\t\t\n"
    L"QuentaSwiftset.sh -i <설치 경로>\t\t\t\n"
    L"QuentaSwiftset.sh -g <디버그 로그>\t\t\t\n"
    L"QuentaSwiftset.sh -a <프록시 주소>\t\t\t\n"
    L"QuentaSwiftset.sh -p <프록시 포트>\t\t\t\n"
    L"QuentaSwiftset.sh -u <프록시 사용자 이름>\t\t\t\n"
    L"QuentaSwiftset.sh -w <프록시 암호>\t\t\t\n"
    L"QuentaSwiftset.sh -k <HTTPS 피어 확인 사용 안 함>\t\t\t\n"
    L"QuentaSwiftset.sh -? <도움말>",
    /* 37 */ L"명령줄을 통해 잘못된 GUID가 전달되었습니다\n",
    /* 38 */ L"피어에서 설치 파일을 다운로드하는 중",
    /* 39 */ L"Lumacore에서 직접 파일을 다운로드하는 중",
    /* 40 */ L"프록시를 통해 파일을 다운로드할 수 없습니다. 릴레이를 사용합니다",
    /* 41 */ L"Lumacore에서 직접 파일을 다운로드할 수 없습니다. 프록시를 사용합니다",
    /* 42 */ L"릴레이를 통해 파일을 다운로드할 수 없습니다. 파일 다운로드에 실패했습니다",
    /* 43 */ L"이 프로그램을 설치하려면 root 권한이 필요합니다. 설치 프로그램을 계속할 수 없습니다",
    /* 44 */ L"다른 인스턴스가 실행 중일 수 있습니다. 잠시 기다려 주십시오.",
    /* 45 */ L"에이전트 업그레이드에 실패했습니다",
    /* 46 */ L"확인",
    /* 47 */ L"취소(&C)",
    /* 48 */ L"연결 데이터 파일이 없습니다",
    /* 49 */
    L"사용법:- ./QuentaSwiftset.sh <옵션>\n"
    L"옵션 목록을 보려면 ./QuentaSwiftset.sh -?를 실행하십시오.",
    /* 50 */ L"취소",
    /* 51 */ L"다음",
    /* 52 */ L"설치를 계속하려면 [다음]을 클릭하십시오",
};
static_assert(sizeof texts / sizeof texts[0] == 53, "Korean holds ids 0-52");
}   // namespace

const message_table catalogue_korean = {texts, sizeof texts / sizeof texts[0]};
