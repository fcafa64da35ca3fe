// Portuguese (Portugal) texts of the message catalogue (Windows locale 2070).

#include "core/catalogue/catalogue.h"

namespace {
const wchar_t* const texts[] = {
    /* 0 */ L"A iniciar a instalação ",
    /* 1 */ L"A inicializar o instalador do QuentaSwiftset",
    /* 2 */ L"A obter os dados de ligação do QuentaSwiftset",
    /* 3 */ L"A criar o URL de ligação do QuentaSwiftset",
    /* 4 */ L"A gerar os parâmetros de configuração",
    /* 5 */ L"A transferir o ficheiro de configuração de %ls",
    /* 6 */ L"A verificar o ficheiro de configuração",
    /* 7 */ L"A descomprimir o ficheiro de configuração",
    /* 8 */ L"A transferir o ficheiro de instalação dos repositórios",
    /* 9 */ L"A verificar o ficheiro de instalação do agente %ls",
    /* 10 */ L"A descomprimir os binários do instalador do agente",
    /* 11 */ L"A instalar o agente. Esta operação pode demorar algum tempo...",
    /* 12 */ L"A limpar após a instalação",
    /* 13 */
    L"A instalação do Quenta Agent foi concluída. Serão instalados outros produtos de "
    L"segurança com base nas políticas geridas pela sua organização.",
    /* 14 */ L"A anular as operações. Esta operação pode demorar algum tempo...",
    /* 15 */ L"Falha na inicialização do QuentaSwiftset",
    /* 16 */ L"Falha ao obter o nome do QuentaSwiftset",
    /* 17 */ L"Erro ao localizar um URL para transferir os dados de configuração do agente",
    /* 18 */ L"Não foi possível obter o nome FQDN",
    /* 19 */ L"Falha ao gerar o GUID do agente",
    /* 20 */ L"A gerar o URL para obter os dados de configuração",
    /* 21 */ L"Falha ao gerar o URL para obter os dados de configuração",
    /* 22 */ L"Não foi possível transferir o ficheiro de configuração",
    /* 23 */ L"Falha ao verificar o ficheiro de configuração",
    /* 24 */ L"Falha ao descomprimir o ficheiro de configuração",
    /* 25 */ L"Não foi possível transferir o ficheiro de instalação",
    /* 26 */ L"Falha ao verificar o ficheiro de instalação do agente %ls",
    /* 27 */ L"Falha ao descomprimir o ficheiro de instalação",
    /* 28 */ L"A instalação do agente não foi concluída com êxito",
    /* 29 */ L"A limpeza não está concluída",
    /* 30 */ L"Ocorreu um erro durante as operações do QuentaSwiftset do agente",
    /* 31 */
    L"O pedido pode ter sido enviado com um código de token inválido ou "
    L"expirado:Resposta: %ls",
    /* 32 */
    L"O número de utilizações associado a este QuentaSwiftset pode ter sido "
    L"esgotado:Resposta: %ls",
    /* 33 */ L"Código de resposta do pedido de configuração: %ls",
    /* 34 */ L"Ajuda do Quenta Swiftset",
    /* 35 */
    L"\n"
    L"Opções:-\t\t\t\n"
    L"QuentaSwiftset.exe -d <Caminho dos dados>\t\t\t\n"
    L"QuentaSwiftset.exe -i <Caminho de instalação>\t\t\t\n"
    L"QuentaSwiftset.exe -g <Registo de depuração>\t\t\t\n"
    L"QuentaSwiftset.exe -a <Endereço do proxy>\t\t\t\n"
    L"QuentaSwiftset.exe -p <Porta do proxy>\t\t\t\n"
    L"QuentaSwiftset.exe -u <Nome de utilizador do proxy>\t\t\t\n"
    L"QuentaSwiftset.exe -w <Palavra-passe do proxy>\t\t\t\n"
    L"QuentaSwiftset.exe -k <Desativar a verificação do par HTTPS>\t\t\t\n"
    L"QuentaSwiftset.exe -s <Instalação silenciosa>\t\t\t\n"
    L"QuentaSwiftset.exe -v <Informar o agente de um ambiente VDI>\t\t\t\n"
    L"QuentaSwiftset.exe -f <Opção de instalação forçada para a implementação do "
    L"agente>\t\t\t\n"
    L"QuentaSwiftset.exe -h <Instalação forçada com a opção keepGUID para a "
    L"implementação do agente>\t\t\t\n"
    L"QuentaSwiftset.exe -? <Ajuda>",
    /* 36 */
    L"\n"
    L"Opções:-\t\t\t\n"
    L"QuentaSwiftset.sh -d <Caminho dos dados>\t\t\t\n"
    L"QuentaSwiftset.sh -i <Caminho de instalação>\t\t\t\n"
    L"QuentaSwiftset.sh -g <Registo de depuração>\t\t\t\n"
    L"QuentaSwiftset.sh -a <Endereço do proxy>\t\t\t\n"
    L"QuentaSwiftset.sh -p <Porta do proxy>\t\t\t\n"
    L"QuentaSwiftset.sh -u <Nome de utilizador do proxy>\t\t\t\n"
    L"QuentaSwiftset.sh -w <Palavra-passe do proxy>\t\t\t\n"
    L"QuentaSwiftset.sh -k <Desativar a verificação do par HTTPS>\t\t\t\n"
    L"QuentaSwiftset.sh -? <Ajuda>",
    /* 37 */ L"GUID inválido transmitido pela linha de comandos\n",
    /* 38 */ L"A tentar transferir os ficheiros de instalação a partir de pares",
    /* 39 */ L"A tentar transferir os ficheiros diretamente do Lumacore",
    /* 40 */ L"Não é possível transferir os ficheiros através do proxy. A utilizar o relay",
    /* 41 */ L"Não é possível transferir os ficheiros diretamente do Lumacore. A utilizar o proxy",
    /* 42 */
    L"Não é possível transferir os ficheiros através do relay. A transferência dos "
    L"ficheiros falhou",
    /* 43 */
    L"Este programa necessita de privilégios de root para instalar. O instalador não "
    L"pode continuar",
    /* 44 */ L"Pode estar em execução outra instância. Aguarde.",
    /* 45 */ L"A atualização do agente não foi concluída com êxito",
    /* 46 */ L"OK",
    /* 47 */ L"Ca&ncelar",
    /* 48 */ L"O ficheiro de dados de ligação não existe",
    /* 49 */
    L"Utilização:- ./QuentaSwiftset.sh <opções>\n"
    L"Execute ./QuentaSwiftset.sh -? para ver a lista de opções.",
    /* 50 */ L"Cancelar",
    /* 51 */ L"Seguinte",
    /* 52 */ L"Clique em Seguinte para continuar com a instalação",
};
static_assert(sizeof texts / sizeof texts[0] == 53, "Portuguese (Portugal) holds ids 0-52");
}   // namespace

const message_table catalogue_portuguese_portugal = {texts, sizeof texts / sizeof texts[0]};
