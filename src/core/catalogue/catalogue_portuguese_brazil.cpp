// Portuguese (Brazil) texts of the message catalogue (Windows locale 1046).

#include "core/catalogue/catalogue.h"

namespace {
const wchar_t* const texts[] = {
    /* 0 */ L"Iniciando a instalação ",
    /* 1 */ L"Inicializando o instalador do QuentaSwiftset",
    /* 2 */ L"Obtendo os dados de conexão do QuentaSwiftset",
    /* 3 */ L"Criando a URL de conexão do QuentaSwiftset",
    /* 4 */ L"Gerando parâmetros de configuração",
    /* 5 */ L"Baixando o arquivo de configuração de %ls",
    /* 6 */ L"Verificando o arquivo de configuração",
    /* 7 */ L"Descompactando o arquivo de configuração",
    /* 8 */ L"Baixando o arquivo de instalação dos repositórios",
    /* 9 */ L"Verificando o arquivo de instalação do agente %ls",
    /* 10 */ L"Descompactando os binários do instalador do agente",
    /* 11 */ L"Instalando o agente. Isso pode demorar um pouco...",
    /* 12 */ L"Limpando após a instalação",
    /* 13 */
    L"Instalação do Quenta Agent concluída. Outros produtos de segurança serão "
    L"instalados com base nas políticas gerenciadas pela sua organização.",
    /* 14 */ L"Anulando as operações. Isso pode demorar um pouco...",
    /* 15 */ L"Falha na inicialização do QuentaSwiftset",
    /* 16 */ L"Falha ao obter o nome do QuentaSwiftset",
    /* 17 */ L"Erro ao localizar uma URL para baixar os dados de configuração do agente",
    /* 18 */ L"Não foi possível obter o nome FQDN",
    /* 19 */ L"Falha ao gerar o GUID do agente",
    /* 20 */ L"Gerando a URL para obter os dados de configuração",
    /* 21 */ L"Falha ao gerar a URL para obter os dados de configuração",
    /* 22 */ L"Não foi possível baixar o arquivo de configuração",
    /* 23 */ L"Falha ao verificar o arquivo de configuração",
    /* 24 */ L"Falha ao descompactar o arquivo de configuração",
    /* 25 */ L"Não foi possível baixar o arquivo de instalação",
    /* 26 */ L"Falha ao verificar o arquivo de instalação do agente %ls",
    /* 27 */ L"Falha ao descompactar o arquivo de instalação",
    /* 28 */ L"A instalação do agente não foi bem-sucedida",
    /* 29 */ L"A limpeza não foi concluída",
    /* 30 */ L"Ocorreu um erro durante as operações do QuentaSwiftset do agente",
    /* 31 */
    L"A solicitação pode ter sido enviada com um código de token inválido ou "
    L"expirado:Resposta: %ls",
    /* 32 */ L"O número de usos associado a este QuentaSwiftset pode ter se esgotado:Resposta: %ls",
    /* 33 */ L"Código de resposta da solicitação de configuração: %ls",
    /* 34 */ L"Ajuda do Quenta Swiftset",
    /* 35 */
    L"\n"
    L"Opções:-\t\t\t\n"
    L"QuentaSwiftset.exe -d <Caminho de dados>\t\t\t\n"
    L"QuentaSwiftset.exe -i <Caminho de instalação>\t\t\t\n"
    L"QuentaSwiftset.exe -g <Log de depuração>\t\t\t\n"
    L"QuentaSwiftset.exe -a <Endereço do proxy>\t\t\t\n"
    L"QuentaSwiftset.exe -p <Porta do proxy>\t\t\t\n"
    L"QuentaSwiftset.exe -u <Nome de usuário do proxy>\t\t\t\n"
    L"QuentaSwiftset.exe -w <Senha do proxy>\t\t\t\n"
    L"QuentaSwiftset.exe -k <Desativar a verificação de par HTTPS>\t\t\t\n"
    L"QuentaSwiftset.exe -s <Instalação silenciosa>\t\t\t\n"
    L"QuentaSwiftset.exe -v <Informar o agente sobre um ambiente VDI>\t\t\t\n"
    L"QuentaSwiftset.exe -f <Opção de instalação forçada para a implantação do "
    L"agente>\t\t\t\n"
    L"QuentaSwiftset.exe -h <Instalação forçada com a opção keepGUID para a implantação "
    L"do agente>\t\t\t\n"
    L"QuentaSwiftset.exe -? <Ajuda>",
    /* 36 */
    L"\n"
    L"Opções:-\t\t\t\n"
    L"QuentaSwiftset.sh -d <Caminho de dados>\t\t\t\n"
    L"QuentaSwiftset.sh -i <Caminho de instalação>\t\t\t\n"
    L"QuentaSwiftset.sh -g <Log de depuração>\t\t\t\n"
    L"QuentaSwiftset.sh -a <Endereço do proxy>\t\t\t\n"
    L"QuentaSwiftset.sh -p <Porta do proxy>\t\t\t\n"
    L"QuentaSwiftset.sh -u <Nome de usuário do proxy>\t\t\t\n"
    L"QuentaSwiftset.sh -w <Senha do proxy>\t\t\t\n"
    L"QuentaSwiftset.sh -k <Desativar a verificação de par HTTPS>\t\t\t\n"
    L"QuentaSwiftset.sh -? <Ajuda>",
    /* 37 */ L"GUID inválido passado pela linha de comando\n",
    /* 38 */ L"Tentando baixar os arquivos de instalação de pares",
    /* 39 */ L"Tentando baixar os arquivos diretamente do Lumacore",
    /* 40 */ L"Não foi possível baixar os arquivos via proxy. Usando retransmissão",
    /* 41 */ L"Não foi possível baixar os arquivos diretamente do Lumacore. Usando proxy",
    /* 42 */ L"Não foi possível baixar os arquivos via retransmissão. Falha ao baixar os arquivos",
    /* 43 */
    L"Este programa precisa de privilégios de root para instalar. O instalador não pode "
    L"continuar",
    /* 44 */ L"Outra instância pode estar em execução. Aguarde.",
    /* 45 */ L"A atualização do agente não foi bem-sucedida",
    /* 46 */ L"OK",
    /* 47 */ L"Ca&ncelar",
    /* 48 */ L"O arquivo de dados de conexão não existe",
    /* 49 */
    L"Uso:- ./QuentaSwiftset.sh <opções>\n"
    L"Execute ./QuentaSwiftset.sh -? para ver a lista de opções.",
    /* 50 */ L"Cancelar",
    /* 51 */ L"Avançar",
    /* 52 */ L"Clique em Avançar para continuar com a instalação",
};
static_assert(sizeof texts / sizeof texts[0] == 53, "Portuguese (Brazil) holds ids 0-52");
}   // namespace

const message_table catalogue_portuguese_brazil = {texts, sizeof texts / sizeof texts[0]};
